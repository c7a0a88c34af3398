// The installer step and the manifest step of whole runs: setup programs and
// component installers that fail in each way, an old setup folder, a
// volatile product key, manifests that can't be fetched or read, and an
// empty install list.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/TextConvert.h"
#include "tests/component/InstallRunFixture.h"

using install_testing::EventLine;
using install_testing::InstallRunTest;
using install_testing::RecordingMainWnd;
using install_testing::ServedComponent;
using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {

// The events of a one-component (Portalis) run that got to its installers.
std::vector<std::string> PortalisRunEvents(int outcome) {
  std::vector<std::string> lines = {EventLine(100),       EventLine(102), EventLine(200), EventLine(201, 0, 7),
                                    EventLine(203, 0, 7), EventLine(204), EventLine(300), EventLine(301, 0, 7)};
  if (outcome == 0) {
    lines.push_back(EventLine(303, 0, 7));
    lines.push_back(EventLine(304));
  } else {
    lines.push_back(EventLine(302, outcome, 7));
    lines.push_back(EventLine(1001, outcome));
  }
  return lines;
}

TEST_F(InstallRunTest, SetupProgramAndComponentInstallerResults) {
  struct Case {
    const char* what;
    nlohmann::json behaviour;
    bool setupStartable;
    std::string pkgName;
    int outcome;
    std::string logLine;  // tag, file, function and text
    std::optional<std::string> instarArgs;  // what Instar.exe received, if it ran
  };
  const Case kCases[] = {
      {"setup exits 0", nlohmann::json::object(), true, "", 0,
       "[Info][Component][component][CMainWnd::InstallComponent] install component Portalis_setup.exe Result[0]",
       "[-nodesktopIcon]\n"},
      {"setup exits 1000", {{"exit", 1000}}, true, "", 0,
       "[Info][Component][component][CMainWnd::InstallComponent] install component Portalis_setup.exe Result[0]",
       "[-nodesktopIcon]\n"},
      {"game package given", nlohmann::json::object(), true, "com.orvo.game", 0,
       "[Info][Component][component][CMainWnd::InstallComponent] component install success", "[]\n"},
      {"setup exits 1", {{"exit", 1}}, true, "", kOutcomeSetupFailed,
       "[Info][Component][component][CMainWnd::InstallComponent] install component Portalis_setup.exe Result[1]",
       std::nullopt},
      {"setup cannot be started", nlohmann::json::object(), false, "", kOutcomeSetupFailed,
       "[Error][Component][component][CMainWnd::InstallComponent] start ", std::nullopt},
      {"no Instar.exe", {{"instar", false}}, true, "", kOutcomeInstallerMissing,
       "[Error][component][component][CMainWnd::InstallComponent] ", std::nullopt},
      {"Instar.exe exits 1000", {{"instarExit", 1000}}, true, "", kOutcomeInstallerFailed,
       "[Info][Component][component][CMainWnd::InstallComponent] install component Portalis_setup.exe installer "
       "[Instar] Result[1000]",
       "[-nodesktopIcon]\n"},
      {"Instar.exe cannot be started", {{"brokenInstar", true}}, true, "", kOutcomeInstallerFailed,
       "[Error][Component][component][CMainWnd::InstallComponent] start ", std::nullopt},
  };
  StartServers();
  Want({ComponentId::Portalis});
  for (const Case& test : kCases) {
    SCOPED_TRACE(test.what);
    NewRun();
    testing_support::ScratchDir run;
    config->tempPath = run / L"download\\";
    config->installPath = run / L"install\\";
    config->pkgName = test.pkgName;
    ServedComponent portalis = Fixture(ComponentId::Portalis, test.behaviour);
    if (!test.setupStartable) portalis.bytes = "MZ but nothing a loader could start";
    Serve({portalis});
    Run();
    RecordingMainWnd& window = Window();

    EXPECT_EQ(window.installOutcome(), test.outcome);
    EXPECT_EQ(window.installPhase(), test.outcome == 0 ? kPhaseComplete : kPhaseFailed);
    EXPECT_EQ(window.completeShown, test.outcome == 0);
    EXPECT_EQ(EventLines(), PortalisRunEvents(test.outcome));
    EXPECT_TRUE(log.Contains(test.logLine));
    // One file: its samples are every progress it reported, without the
    // (0, 0) of the reset before it.
    EXPECT_EQ(window.speedSamples().size(), static_cast<size_t>(window.progressCalls - 1));
    const std::wstring argsFile = DownloadDir(portalis) + L"instar_args.txt";
    EXPECT_EQ(FileExists(argsFile), test.instarArgs.has_value());
    if (test.instarArgs) {
      EXPECT_EQ(ReadFileBytes(argsFile), *test.instarArgs);
    }
    // The folder is recorded before anything runs.
    EXPECT_EQ(ReadMachineString(L"Software\\Quenlo\\Lumora\\Portalis", L"InstallPath"), InstallFolder(portalis));
    if (test.outcome != 0) {
      EXPECT_TRUE(log.Contains("[Error][Component][component][CMainWnd::InstallComponent] component install failed."));
      EXPECT_TRUE(log.Contains("[Error][Component][component][CMainWnd::DoInstallComponent] stop install by install "
                               "error."));
      // The animation still ends: the step returned rather than threw.
      EXPECT_EQ(window.screen.back(), "animation off");
    }
  }
  EXPECT_TRUE(log.Contains("Setup\\Instar.exe don't exist!"));
}

TEST_F(InstallRunTest, OldSetupFolderIsRemovedUnlessAFileInItIsHeld) {
  StartServers();
  Want({ComponentId::Portalis});
  for (const bool held : {false, true}) {
    SCOPED_TRACE(held ? "held" : "free");
    NewRun();
    testing_support::ScratchDir run;
    config->tempPath = run / L"download\\";
    const ServedComponent portalis = Fixture(ComponentId::Portalis);
    Serve({portalis});
    const std::wstring setup = DownloadDir(portalis) + L"Setup\\";
    CreateDirectoryW(config->tempPath.c_str(), nullptr);
    CreateDirectoryW(DownloadDir(portalis).c_str(), nullptr);
    CreateDirectoryW(setup.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(setup + L"stale.txt", "left from an earlier run"));
    HANDLE file = INVALID_HANDLE_VALUE;
    if (held) {
      // Open without delete sharing: the file can't be removed while held.
      file = CreateFileW((setup + L"held.bin").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
    }
    Run();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);

    const int outcome = held ? kOutcomeOldSetupFolder : 0;
    EXPECT_EQ(Window().installOutcome(), outcome);
    EXPECT_EQ(EventLines(), PortalisRunEvents(outcome));
    EXPECT_FALSE(FileExists(setup + L"stale.txt"));
    if (held) {
      EXPECT_TRUE(log.Contains("[Warn][Component][component][CMainWnd::InstallComponent] delete " + WideToUtf8(setup) +
                               " failed. error code: "));
    } else {
      EXPECT_TRUE(FileExists(setup + L"Instar.exe"));
    }
  }
}

TEST_F(InstallRunTest, VolatileProductKeyStillInstallsEveryComponentThenFails) {
  StartServers();
  const std::vector<ServedComponent> components = {Fixture(ComponentId::Portalis), Fixture(ComponentId::UI)};
  Serve(components);
  Want({ComponentId::Portalis, ComponentId::UI});
  // "Software\Quenlo" volatile (as an earlier, interrupted run may leave
  // it): no lasting key can be created below it.
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Quenlo");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Quenlo", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  Run();
  RecordingMainWnd& window = Window();

  EXPECT_EQ(window.installOutcome(), kOutcomeRegistryKey);
  EXPECT_EQ(window.installPhase(), kPhaseFailed);
  const std::vector<std::string> lines = EventLines();
  ASSERT_GE(lines.size(), 6u);
  const std::vector<std::string> tail(lines.end() - 6, lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{EventLine(301, 0, 7), EventLine(303, 0, 7), EventLine(301, 0, 1),
                                            EventLine(303, 0, 1), EventLine(302, kOutcomeRegistryKey, 1),
                                            EventLine(1001, kOutcomeRegistryKey)}));
  EXPECT_TRUE(log.Contains("[Error][Component][component][CMainWnd::InstallComponent] create Software\\Quenlo\\Lumora "
                           "reg path failed. error code: 1021"));
  // After the repair every component's folder is recorded, and the
  // installers found it.
  for (const ServedComponent& c : components) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadMachineString(Utf8ToWide(c.regKey), L"InstallPath"), InstallFolder(c));
    ComponentLocalInfo info;
    ReadComponentLocalInfo(c.id, info);
    EXPECT_TRUE(info.installed);
  }
}

TEST_F(InstallRunTest, ManifestFromNeitherSourceStopsTheRunWithCode2) {
  StartServers();  // no manifest on the primary, nothing on the content port
  Want({ComponentId::Portalis});
  Run();
  RecordingMainWnd& window = Window();
  EXPECT_EQ(EventLines(), (std::vector<std::string>{EventLine(100), EventLine(101, kOutcomeManifestDownload),
                                                    EventLine(1001, kOutcomeManifestDownload)}));
  EXPECT_EQ(window.installPhase(), kPhaseFailed);
  EXPECT_EQ(window.installOutcome(), kOutcomeManifestDownload);
  EXPECT_STREQ(OutcomeKey(window.installOutcome()), "error_http_download");
  EXPECT_TRUE(window.screen.empty());
  EXPECT_TRUE(log.Contains("[Error][Component][component][CMainWnd::DoInstallComponent] stop install by download "
                           "component xml error."));
}

TEST_F(InstallRunTest, UnreadableManifestNumbersFailTheRunAsAParseError) {
  struct Case {
    const char* attributes;
    const char* error;
  };
  const Case kCases[] = {
      {"id=\"seven\" DL_ID=\"1\" filesize=\"2\"", "invalid stoull argument"},
      {"id=\"7\" DL_ID=\"99999999999999999999\" filesize=\"2\"", "stoull argument out of range"},
  };
  StartServers();
  Want({ComponentId::Portalis});
  for (const Case& test : kCases) {
    SCOPED_TRACE(test.error);
    NewRun();
    WriteSite(ServerDir(), install_testing::kManifestPath,
              std::string("<components><Item ") + test.attributes + " name=\"a.exe\"/></components>");
    Run();
    RecordingMainWnd& window = Window();
    EXPECT_EQ(window.installOutcome(), kOutcomeManifestParse);
    EXPECT_EQ(window.installPhase(), kPhaseFailed);
    EXPECT_EQ(EventLines(), (std::vector<std::string>{EventLine(100), EventLine(102),
                                                      EventLine(101, kOutcomeManifestParse),
                                                      EventLine(1001, kOutcomeManifestParse)}));
    EXPECT_TRUE(log.Contains(std::string("[Error][Component][component][CMainWnd::DoInstallComponent] ") + test.error));
  }
}

TEST_F(InstallRunTest, EmptyInstallListSucceedsWithoutEvents) {
  RecordingMainWnd& window = Window();
  EXPECT_TRUE(window.DownloadComponent());
  EXPECT_TRUE(window.InstallComponent());
  EXPECT_TRUE(PumpUntil([&] { return !window.screen.empty(); }));
  EXPECT_EQ(window.screen, std::vector<std::string>{"bar 100"});
  EXPECT_TRUE(Events().empty());
  EXPECT_EQ(window.installOutcome(), kOutcomeSuccess);
}

}  // namespace

namespace {

TEST_F(InstallRunTest, DownloadFolderThatCannotBeMadeEndsAsAnUnknownException) {
  StartServers();
  const ServedComponent portalis = Fixture(ComponentId::Portalis);
  Serve({portalis});
  Want({ComponentId::Portalis});
  // A file where the download folder's parent should be.
  ASSERT_TRUE(WriteFileBytes(dir / L"blocked", "a file, not a folder"));
  config->tempPath = dir / L"blocked\\download\\";
  Run();
  RecordingMainWnd& window = Window();
  EXPECT_EQ(window.installOutcome(), kOutcomeCommon);
  EXPECT_EQ(window.installPhase(), kPhaseFailed);
  EXPECT_EQ(EventLines(), (std::vector<std::string>{EventLine(100), EventLine(102), EventLine(200),
                                                    EventLine(1001, kOutcomeCommon)}));
  EXPECT_TRUE(log.Contains("[Error][component][component][CMainWnd::DoInstallComponent] unknown exception occurred at "
                           "installing progress."));
}

}  // namespace
