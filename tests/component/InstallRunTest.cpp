// Whole installation runs without a native window: the test server serves
// the manifest and the fixture components, DoInstallComponent runs on the
// worker pool, and this thread pumps the window thread until a result page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Md5.h"
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

const std::vector<ComponentId> kAllSix = {ComponentId::Portalis, ComponentId::UI,          ComponentId::VDI_0,
                                          ComponentId::VDI_100,  ComponentId::Rusk_Rootfs, ComponentId::Cabin};



int Id(const ServedComponent& c) { return static_cast<int>(c.id); }

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::optional<DWORD> ReadUserDword(const std::wstring& key, const wchar_t* name) {
  DWORD value = 0, size = sizeof value, type = 0;
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return std::nullopt;
  const LSTATUS status = RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS || type != REG_DWORD) return std::nullopt;
  return value;
}

TEST_F(InstallRunTest, AllSixComponentsDownloadedAndInstalled) {
  StartServers();
  std::vector<ServedComponent> components;
  for (const ComponentId id : kAllSix) components.push_back(Fixture(id, {{"version", "2.0.0." + std::to_string(static_cast<int>(id))}}));
  Serve(components);
  Want(kAllSix);
  Run();
  RecordingMainWnd& window = Window();

  EXPECT_TRUE(window.completeShown);
  EXPECT_FALSE(ErrorPageShown());
  EXPECT_EQ(window.installPhase(), kPhaseComplete);
  EXPECT_EQ(window.installOutcome(), kOutcomeSuccess);

  std::vector<std::string> downloads, installs;
  for (const ServedComponent& c : components) {
    downloads.push_back(EventLine(201, 0, Id(c)));
    downloads.push_back(EventLine(203, 0, Id(c)));
    installs.push_back(EventLine(301, 0, Id(c)));
    installs.push_back(EventLine(303, 0, Id(c)));
  }
  EXPECT_EQ(EventLines(), Concat({{EventLine(100), EventLine(102), EventLine(200)}, downloads, {EventLine(204), EventLine(300)}, installs,
                                  {EventLine(304)}}));

  // Each file: reset to 0, its own progress up to 100; then the bar at 100,
  // the animation around the installers, and the complete page last.
  const std::vector<std::string>& screen = window.screen;
  EXPECT_FALSE(window.ranOffWindowThread);
  ASSERT_GE(screen.size(), 5u);
  EXPECT_EQ(screen.front(), "progress 0");
  EXPECT_EQ(std::count(screen.begin(), screen.end(), "progress 0"), 6);
  EXPECT_EQ(std::count(screen.begin(), screen.end(), "progress 100"), 6);
  EXPECT_EQ(std::vector<std::string>(screen.end() - 4, screen.end()),
            (std::vector<std::string>{"bar 100", "animation on", "animation off", "complete"}));
  // The last file's samples: none is the zero of its reset.
  EXPECT_FALSE(window.speedSamples().empty());
  EXPECT_TRUE(ReadUserDword(L"Software\\Quenlo\\Lumora\\GameDownload", L"DownloadSpeed").has_value());

  for (const ServedComponent& c : components) {
    SCOPED_TRACE(c.name);
    const std::wstring folder = InstallFolder(c);
    EXPECT_EQ(ReadMachineString(Utf8ToWide(c.regKey), L"InstallPath"), folder);
    ComponentLocalInfo info;
    ReadComponentLocalInfo(c.id, info);
    EXPECT_TRUE(info.installed);
    EXPECT_EQ(info.version, L"2.0.0." + std::to_wstring(Id(c)));
    EXPECT_EQ(window.localComponentInfo().at(c.id).path, folder);
    EXPECT_EQ(ReadFileBytes(DownloadDir(c) + Utf8ToWide(c.name)), c.bytes);
    // -nodesktopIcon for Portalis with no game package and no product icon;
    // nothing for the others.
    EXPECT_EQ(ReadFileBytes(DownloadDir(c) + L"instar_args.txt"),
              c.id == ComponentId::Portalis ? "[-nodesktopIcon]\n" : "[]\n");
  }

  EXPECT_GE(log.Find("[Info][ComponentXml][component][CMainWnd::DownloadComponentXml] download component xml "
                     "success. file path: " +
                     WideToUtf8(dir / L"temp\\OrvoDownload\\")),
            0);
  EXPECT_TRUE(log.Contains("[Info][Component][component][CMainWnd::DownloadComponent] start download component name: "
                           "UI_setup.exe url:[http://downloads.orvo.test/files/UI_setup.exe] localPath:[" +
                           WideToUtf8(dir / L"download\\UI\\UI_setup.exe") + "]"));
  EXPECT_TRUE(log.Contains("[Info][Component][component][CMainWnd::InstallComponent] install component UI_setup.exe "
                           "installer [Instar] Result[0]"));
  EXPECT_TRUE(log.Contains("[Info][Component][component][CMainWnd::InstallComponent] component install success"));
  EXPECT_TRUE(log.Contains("[Info][Download][MainWnd][CMainWnd::RecordDownloadAverageSpeed] record download average "
                           "speed ["));
}

TEST_F(InstallRunTest, FilesOnDiskWithTheirDigestAreReusedAndWrongOnesFetchedAgain) {
  StartServers();
  std::vector<ServedComponent> components = {Fixture(ComponentId::Portalis), Fixture(ComponentId::UI),
                                             Fixture(ComponentId::Cabin)};
  // Upper-case digest letters still match.
  std::string upper = Md5Hex(components[0].bytes.data(), components[0].bytes.size());
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  components[0].hash = upper;
  Serve(components);
  Want({ComponentId::Portalis, ComponentId::UI, ComponentId::Cabin});
  // Portalis and Cabin already downloaded; UI there but damaged.
  for (const ServedComponent& c : components) {
    CreateDirectoryW(config->tempPath.c_str(), nullptr);
    CreateDirectoryW(DownloadDir(c).c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(DownloadDir(c) + Utf8ToWide(c.name), c.id == ComponentId::UI ? "damaged" : c.bytes));
  }
  Run();
  RecordingMainWnd& window = Window();

  EXPECT_TRUE(window.completeShown);
  EXPECT_EQ(EventLines(), (std::vector<std::string>{EventLine(100), EventLine(102), EventLine(200), EventLine(201, 0, 1), EventLine(203, 0, 1),
                                                    EventLine(204), EventLine(300), EventLine(301, 0, 7), EventLine(303, 0, 7),
                                                    EventLine(301, 0, 1), EventLine(303, 0, 1), EventLine(301, 0, 2),
                                                    EventLine(303, 0, 2), EventLine(304)}));
  EXPECT_EQ(ReadFileBytes(DownloadDir(components[1]) + Utf8ToWide(components[1].name)), components[1].bytes);
  EXPECT_TRUE(log.Contains("[Info][Component][component][CMainWnd::DownloadComponent] Portalis_setup.exe is existed. "
                           "path: " +
                           WideToUtf8(DownloadDir(components[0])) + "Portalis_setup.exe"));
  // Only the damaged file moved the progress.
  EXPECT_EQ(std::count(window.screen.begin(), window.screen.end(), "progress 0"), 1);
  // Only the fetched file was asked of the server.
  int fetched = 0;
  for (const auto& request : primary->Requests()) {
    const std::string path = request["path"];
    if (path.rfind("/files/", 0) == 0) {
      EXPECT_EQ(path, "/files/UI_setup.exe");
      ++fetched;
    }
  }
  EXPECT_EQ(fetched, 2);  // its HEAD and its GET
}

TEST_F(InstallRunTest, EverythingOnDiskMovesNoProgress) {
  StartServers();
  const std::vector<ServedComponent> components = {Fixture(ComponentId::Portalis), Fixture(ComponentId::UI)};
  Serve(components);
  Want({ComponentId::Portalis, ComponentId::UI});
  for (const ServedComponent& c : components) {
    CreateDirectoryW(config->tempPath.c_str(), nullptr);
    CreateDirectoryW(DownloadDir(c).c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(DownloadDir(c) + Utf8ToWide(c.name), c.bytes));
  }
  Run();
  RecordingMainWnd& window = Window();
  EXPECT_TRUE(window.completeShown);
  EXPECT_EQ(EventLines(), (std::vector<std::string>{EventLine(100), EventLine(102), EventLine(200), EventLine(204), EventLine(300),
                                                    EventLine(301, 0, 7), EventLine(303, 0, 7), EventLine(301, 0, 1),
                                                    EventLine(303, 0, 1), EventLine(304)}));
  EXPECT_EQ(window.screen, (std::vector<std::string>{"bar 100", "animation on", "animation off", "complete"}));
}

// Download and digest failures: the failing component's events, the outcome,
// the error page on the window thread, and what the earlier and later
// components were left with.
TEST_F(InstallRunTest, DownloadFailuresStopAtTheFailingComponent) {
  struct Case {
    const char* what;
    std::optional<std::string> hash;
    std::string url;
    int outcome;
    int detail;  // 202's system error
    bool fileKept;
  };
  const Case kCases[] = {
      {"empty hash", std::string(), "", kOutcomeDigestMismatch, 0, true},
      {"unusable url", std::nullopt, "downloads.orvo.test/files/x", kOutcomeUrlNotRecognized, 0, false},
      {"connection dropped", std::nullopt, "http://downloads.orvo.test/bytes?n=50000&drop=20000",
       kOutcomeReadDataFailed, ERROR_HANDLE_EOF, true},
  };
  StartServers();
  for (const Case& test : kCases) {
    SCOPED_TRACE(test.what);
    testing_support::ScratchDir run;
    config->tempPath = run / L"download\\";
    std::vector<ServedComponent> components = {Fixture(ComponentId::Portalis), Fixture(ComponentId::UI),
                                               Fixture(ComponentId::Cabin)};
    components[1].hash = test.hash;
    components[1].url = test.url;
    Serve(components);
    Want({ComponentId::Portalis, ComponentId::UI, ComponentId::Cabin});
    NewRun();
    Run();
    RecordingMainWnd& window = Window();

    EXPECT_FALSE(window.completeShown);
    EXPECT_EQ(window.installPhase(), kPhaseFailed);
    EXPECT_EQ(window.installOutcome(), test.outcome);
    const std::vector<std::string> expected = {EventLine(100),
                                               EventLine(102),
                                               EventLine(200),
                                               EventLine(201, 0, 7),
                                               EventLine(203, 0, 7),
                                               EventLine(201, 0, 1),
                                               test.outcome == kOutcomeDigestMismatch ? EventLine(203, 0, 1) : "",
                                               EventLine(202, test.outcome, 1, test.detail),
                                               EventLine(1001, test.outcome)};
    std::vector<std::string> lines = EventLines();
    std::vector<std::string> want;
    for (const auto& l : expected) {
      if (!l.empty()) want.push_back(l);
    }
    EXPECT_EQ(lines, want);
    const auto events = Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().thread, GetCurrentThreadId());  // the error page runs on the window thread

    EXPECT_EQ(window.installList().at(0).localFile, DownloadDir(components[0]) + L"Portalis_setup.exe");
    EXPECT_TRUE(window.installList().at(1).localFile.empty());
    EXPECT_TRUE(window.installList().at(2).localFile.empty());
    EXPECT_EQ(FileExists(DownloadDir(components[1]) + L"UI_setup.exe"), test.fileKept);
    EXPECT_FALSE(FileExists(DownloadDir(components[2])));
    EXPECT_TRUE(log.Contains("[Error][Component][component][CMainWnd::DoInstallComponent] stop install by download "
                             "error."));
  }
}

}  // namespace
