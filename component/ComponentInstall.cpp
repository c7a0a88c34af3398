#include <windows.h>
#include <shlwapi.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "base/Log.h"
#include "base/utils.h"
#include "component/InstallRules.h"
#include "config/GlobalConfig.h"
#include "report/DataReport.h"
#include "ui/MainWnd.h"

LOG_SOURCE("component");

namespace {

LSTATUS CreateMachineKey(const std::wstring& path, UniqueHKey& key) {
  return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                         nullptr, key.put(), nullptr);
}

// Puts the process back in the folder it was in, whichever way the
// component's install ends, so no download folder stays held as the
// current directory.
class CurrentDirectoryScope {
 public:
  CurrentDirectoryScope() {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
    if (length > 0 && length < MAX_PATH) saved_.assign(buffer, length);
  }
  ~CurrentDirectoryScope() {
    if (!saved_.empty()) SetCurrentDirectoryW(saved_.c_str());
  }
  CurrentDirectoryScope(const CurrentDirectoryScope&) = delete;
  CurrentDirectoryScope& operator=(const CurrentDirectoryScope&) = delete;

 private:
  std::wstring saved_;
};

}  // namespace

bool CMainWnd::InstallComponent() {
  DataReport& report = DataReport::Instance();
  auto logCreateFailure = [](const std::wstring& path, LSTATUS status) {
    // The registry returns its error instead of setting the thread's; make
    // both the same so the line names the real cause.
    SetLastError(static_cast<DWORD>(status));
    LOG_ERROR("Component") << "create " << path << " reg path failed. error code: " << GetLastError();
  };
  UniqueHKey key;
  if (const LSTATUS status = CreateMachineKey(kProductKey, key); status != ERROR_SUCCESS) {
    logCreateFailure(kProductKey, status);
    // The components are installed all the same; the step fails at its end.
    installOutcome_ = kOutcomeRegistryKey;
  }

  auto installOne = [&](const ComponentItem& item) -> bool {
    const std::wstring arguments = InstallerArguments(item.id, config_.pkgName, config_.createMarketIcon);
    LSTATUS status = CreateMachineKey(item.writePathToRegKey, key);
    if (status == ERROR_CHILD_MUST_BE_VOLATILE) {
      // A volatile product key (or parent) left by an earlier run: remove it
      // and create again, so the component installer finds its InstallPath.
      RemoveVolatileProductKey();
      status = CreateMachineKey(item.writePathToRegKey, key);
    }
    if (status != ERROR_SUCCESS) {
      logCreateFailure(item.writePathToRegKey, status);
      installOutcome_ = kOutcomeRegistryKey;
      return false;
    }

    const std::wstring installFolder = ComponentInstallFolder(config_.installPath, item.localaddpath);
    RegSetValueExW(key.get(), L"InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(installFolder.c_str()),
                   static_cast<DWORD>((installFolder.size() + 1) * sizeof(wchar_t)));
    localComponentInfo_[static_cast<ComponentId>(item.id)].path = installFolder;
    std::error_code ignored;
    if (!std::filesystem::is_directory(installFolder, ignored)) std::filesystem::create_directories(installFolder);

    // The setup program unpacks into its current directory.
    const CurrentDirectoryScope directoryScope;
    SetCurrentDirectoryW(item.downloadDir.c_str());

    const std::wstring setupFolder = item.downloadDir + L"Setup\\";
    if (PathFileExistsW(setupFolder.c_str())) {
      std::vector<std::wstring> failures;
      if (!DeleteDirectoryTree(setupFolder, failures, false)) {
        const DWORD error = GetLastError();
        LOG_WARN("Component") << "delete " << setupFolder << " failed. error code: " << error;
        installOutcome_ = kOutcomeOldSetupFolder;
        return false;
      }
    }

    DWORD exitCode = 0;
    if (!RunProgram(item.localFile, L"", true, &exitCode)) {
      // Not started at all: nothing was installed, whatever exitCode says.
      const DWORD error = GetLastError();
      LOG_ERROR("Component") << "start " << item.localFile << " failed. error code: " << error;
      installOutcome_ = kOutcomeSetupFailed;
      return false;
    }
    exitCode = SetupResultCode(exitCode);
    LOG_INFO("Component") << "install component " << item.name << " Result[" << exitCode << "]";
    if (exitCode != 0) {
      installOutcome_ = kOutcomeSetupFailed;
      return false;
    }

    const std::wstring installer = setupFolder + L"Instar.exe";
    if (!PathFileExistsW(installer.c_str())) {
      LOG_ERROR("component") << installer << " don't exist!";
      installOutcome_ = kOutcomeInstallerMissing;
      return false;
    }

    exitCode = 0;
    if (!RunProgram(installer, arguments, true, &exitCode)) {
      const DWORD error = GetLastError();
      LOG_ERROR("Component") << "start " << installer << " failed. error code: " << error;
      installOutcome_ = kOutcomeInstallerFailed;
      return false;
    }
    LOG_INFO("Component") << "install component " << item.name << " installer [Instar] Result[" << exitCode << "]";
    if (!InstallerSucceeded(exitCode)) {
      installOutcome_ = kOutcomeInstallerFailed;
      return false;
    }
    key.reset();
    return true;
  };

  std::int32_t lastId = -1;
  for (const ComponentItem& item : installList_) {
    report.SendEvent(301, 0, item.id, 0);
    lastId = item.id;
    if (!installOne(item)) break;
    report.SendEvent(303, 0, item.id, 0);
  }
  key.reset();

  if (installOutcome_ != kOutcomeSuccess) {
    report.SendEvent(302, installOutcome_.load(), lastId, 0);
    LOG_ERROR("Component") << "component install failed.";
    return false;
  }
  LOG_INFO("Component") << "component install success";
  return true;
}
