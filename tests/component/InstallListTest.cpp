#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/TextConvert.h"
#include "component/InstalledComponents.h"
#include "tests/component/MainWndFixture.h"

using testing_support::LogCapture;

namespace {

constexpr bool GlobalConfig::*kFlags[] = {&GlobalConfig::installMarket, &GlobalConfig::installUI,
                                          &GlobalConfig::installVDI,    &GlobalConfig::installVDI71,
                                          &GlobalConfig::installRootfs, &GlobalConfig::installCabin};

void WriteValue(const std::wstring& subkey, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(key);
}

void WriteString(const std::wstring& subkey, const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) {
  WriteValue(subkey, name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

class InstallListTest : public MainWndFixture {
 protected:
  // A complete installation of the component in folder: its key with
  // InstallPath (as given) and Version, and every marker file.
  std::wstring Install(ComponentId id, const std::wstring& installPath, const wchar_t* version = L"1.0.0.1") {
    const std::wstring key = KeyOf(id);
    WriteString(key, L"InstallPath", installPath);
    if (version != nullptr) WriteString(key, L"Version", version);
    const std::wstring folder = MarkerFolder(installPath);
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const std::wstring& file : MarkerFiles(id)) {
      EXPECT_TRUE(testing_support::WriteFileBytes(folder + file, "x"));
    }
    return folder;
  }

  static std::wstring KeyOf(ComponentId id) {
    for (const ComponentDescriptor& component : ComponentTable()) {
      if (component.id == id) return component.registryKey;
    }
    return {};
  }

  void WantAll() {
    for (bool GlobalConfig::*flag : kFlags) config.get()->*flag = true;
  }

  static std::vector<std::int32_t> Ids(const std::vector<ComponentItem>& list) {
    std::vector<std::int32_t> ids;
    for (const ComponentItem& item : list) ids.push_back(item.id);
    return ids;
  }
};

}  // namespace

TEST(ComponentTableTest, FlagsIdsKeysAndMarkers) {
  const std::vector<std::int32_t> ids = {7, 1, 3, 8, 10, 2};
  std::vector<std::int32_t> tableIds;
  for (const ComponentDescriptor& component : ComponentTable()) tableIds.push_back(static_cast<int>(component.id));
  EXPECT_EQ(tableIds, ids);
  EXPECT_EQ(std::wstring(ComponentTable()[5].registryKey), L"Software\\AndroidCabin");
  EXPECT_EQ(std::wstring(ComponentTable()[4].registryKey), L"Software\\Quenlo\\Lumora\\Rusk_Rootfs");
  EXPECT_EQ(MarkerFiles(ComponentId::VDI_100).size(), 3u);
  EXPECT_EQ(MarkerFiles(ComponentId::Rusk_Rootfs)[0], L"Wendle");
  EXPECT_TRUE(MarkerFiles(static_cast<ComponentId>(4)).empty());
  EXPECT_EQ(MarkerFolder(L""), L"");
  EXPECT_EQ(MarkerFolder(L"C:\\Product"), L"C:\\Product\\");
  EXPECT_EQ(MarkerFolder(L"C:\\Product\\"), L"C:\\Product\\");
}

TEST_F(InstallListTest, NothingWantedCountsAsAllInstalled) {
  CMainWnd wnd(*config);
  EXPECT_TRUE(wnd.localComponentInfo().empty());
  EXPECT_TRUE(wnd.IsAllComponentInstalled());
  EXPECT_EQ(wnd.installPhase(), kPhaseNotStarted);
  EXPECT_EQ(wnd.installOutcome(), kOutcomeSuccess);
  wnd.GetNeedInstallComponentItems();
  EXPECT_TRUE(wnd.installList().empty());
}

TEST_F(InstallListTest, CompleteComponentsAreInstalledAndOneMissingMarkerReinstallsAll) {
  config->installMarket = true;
  config->installUI = true;
  const std::wstring portalis = dir / L"Product";
  const std::wstring ui = dir / L"Product\\UI\\";
  Install(ComponentId::Portalis, portalis, L"6.4.1782.202");
  const std::wstring uiFolder = Install(ComponentId::UI, ui);
  {
    LogCapture log;
    CMainWnd wnd(*config);
    EXPECT_TRUE(wnd.IsAllComponentInstalled());
    const ComponentLocalInfoMap expected = {{ComponentId::Portalis, {L"6.4.1782.202", portalis, true}},
                                            {ComponentId::UI, {L"1.0.0.1", ui, true}}};
    EXPECT_EQ(wnd.localComponentInfo(), expected);
    const std::string prefix = "[Info][MainWnd][component][CMainWnd::GetNeedInstallComponentLocalInfo] ";
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               prefix + "get component id: 7 installed: true",
                               prefix + "version :6.4.1782.202 path: " + WideToUtf8(portalis),
                               prefix + "get component id: 1 installed: true",
                               prefix + "version :1.0.0.1 path: " + WideToUtf8(ui),
                           }));
  }
  ASSERT_TRUE(DeleteFileW((uiFolder + L"Halvor.exe").c_str()));
  LogCapture log;
  CMainWnd wnd(*config);
  EXPECT_FALSE(wnd.IsAllComponentInstalled());
  EXPECT_TRUE(wnd.localComponentInfo().at(ComponentId::Portalis).installed);
  EXPECT_EQ(wnd.localComponentInfo().at(ComponentId::UI), ComponentLocalInfo{});
  EXPECT_EQ(log.Lines().back(),
            "[Info][MainWnd][component][CMainWnd::GetNeedInstallComponentLocalInfo] get component id: 1 installed: false");
  ASSERT_TRUE(wnd.ParseComponentXml(Manifest("<root>" + ItemXml(1) + ItemXml(7) + "</root>")));
  wnd.GetNeedInstallComponentItems();
  EXPECT_EQ(Ids(wnd.installList()), (std::vector<std::int32_t>{7, 1}));
}

TEST_F(InstallListTest, RegistryRecordsThatDoNotCount) {
  config->installMarket = true;
  const std::wstring key = KeyOf(ComponentId::Portalis);
  const std::wstring folder = dir / L"Product";
  const DWORD number = 1;
  const std::wstring tooLong(260, L'a');
  struct Case {
    const char* name;
    std::function<void()> arrange;
  } const kCases[] = {
      {"no key", [&] { RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str()); }},
      {"no Version", [&] { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Version"); }},
      {"InstallPath as DWORD", [&] { WriteValue(key, L"InstallPath", REG_DWORD, &number, sizeof number); }},
      {"Version as DWORD", [&] { WriteValue(key, L"Version", REG_DWORD, &number, sizeof number); }},
      {"InstallPath of 260 characters", [&] { WriteString(key, L"InstallPath", tooLong); }},
      {"InstallPath elsewhere", [&] { WriteString(key, L"InstallPath", dir / L"Elsewhere"); }},
      {"marker missing", [&] { DeleteFileW((folder + L"\\Brisk.dll").c_str()); }},
  };
  for (const Case& c : kCases) {
    Install(ComponentId::Portalis, folder);
    {
      CMainWnd control(*config);
      ASSERT_TRUE(control.IsAllComponentInstalled()) << c.name;
    }
    c.arrange();
    CMainWnd wnd(*config);
    EXPECT_FALSE(wnd.IsAllComponentInstalled()) << c.name;
    EXPECT_FALSE(wnd.localComponentInfo().at(ComponentId::Portalis).installed) << c.name;
  }
}

TEST_F(InstallListTest, ValueKindsAndMarkersThatCount) {
  config->installRootfs = true;
  config->installCabin = true;
  // REG_EXPAND_SZ is taken as it is, not expanded; a folder passes as a marker;
  // 259 characters is the longest InstallPath read.
  const std::wstring rootfs = dir / L"%NOT_EXPANDED%";
  Install(ComponentId::Rusk_Rootfs, rootfs);
  WriteString(KeyOf(ComponentId::Rusk_Rootfs), L"InstallPath", rootfs, REG_EXPAND_SZ);
  ASSERT_TRUE(DeleteFileW((rootfs + L"\\Wendle").c_str()));
  ASSERT_TRUE(CreateDirectoryW((rootfs + L"\\Wendle").c_str(), nullptr));
  std::wstring cabin = dir / L"Cabin";
  cabin += std::wstring(259 - cabin.size(), L'c');
  Install(ComponentId::Cabin, cabin, L"");
  CMainWnd wnd(*config);
  EXPECT_TRUE(wnd.IsAllComponentInstalled());
  EXPECT_EQ(wnd.localComponentInfo().at(ComponentId::Rusk_Rootfs).path, rootfs);
  EXPECT_EQ(wnd.localComponentInfo().at(ComponentId::Cabin).path, cabin);
  EXPECT_EQ(wnd.localComponentInfo().at(ComponentId::Cabin).version, L"");
}

TEST_F(InstallListTest, InstallListTakesChannelRecordsThenGeneralThenDefaults) {
  WantAll();
  config->supplyid = 305;
  CMainWnd wnd(*config);
  const std::wstring manifest =
      Manifest("<root>" + ItemXml(2, "name=\"general-2\"") + ItemXml(7, "name=\"general-7\"") +
               ItemXml(3, "name=\"general-3\"") + ItemXml(99) +
               "<other><OtherConfig><ChannelComponents ChannelRange=\"300-310\">" + ItemXml(7, "name=\"channel-7\"") +
               ItemXml(10, "name=\"channel-10\"") + "</ChannelComponents></OtherConfig></other></root>");
  ASSERT_TRUE(wnd.ParseComponentXml(manifest));
  LogCapture log;
  wnd.GetNeedInstallComponentItems();
  std::vector<std::wstring> names;
  for (const ComponentItem& item : wnd.installList()) names.push_back(item.name);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"channel-7", L"", L"general-3", L"", L"channel-10", L"general-2"}));
  EXPECT_EQ(Ids(wnd.installList()), (std::vector<std::int32_t>{7, -1, 3, -1, 10, 2}));
  EXPECT_EQ(wnd.installList()[1], ComponentItem{});
  // The ids missing from both maps now have default records in the general
  // map; 10 came from the channel map and added nothing there.
  EXPECT_EQ(wnd.componentMap().at(1), ComponentItem{});
  EXPECT_EQ(wnd.componentMap().at(8), ComponentItem{});
  EXPECT_EQ(wnd.componentMap().count(10), 0u);
  EXPECT_EQ(wnd.componentMap().at(7).name, L"general-7");
  const std::string prefix = "[Info][Component][component][CMainWnd::GetNeedInstallComponentItems] need install component: ";
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{prefix + "7", prefix + "1", prefix + "3", prefix + "8",
                                                    prefix + "10", prefix + "2"}));
  // Rebuilt, not appended to.
  wnd.GetNeedInstallComponentItems();
  EXPECT_EQ(wnd.installList().size(), 6u);
}

TEST_F(InstallListTest, ListOrderFollowsTheTableForAnySetOfFlags) {
  for (unsigned mask = 0; mask < 64; ++mask) {
    std::vector<std::int32_t> expected;
    std::string items;
    const std::int32_t ids[] = {7, 1, 3, 8, 10, 2};
    for (int i = 0; i < 6; ++i) {
      config.get()->*kFlags[i] = (mask & (1u << i)) != 0;
      if ((mask & (1u << i)) != 0) expected.push_back(ids[i]);
      items = ItemXml(ids[i]) + items;  // the manifest lists them in another order
    }
    CMainWnd wnd(*config);
    EXPECT_EQ(static_cast<unsigned>(wnd.localComponentInfo().size()), expected.size()) << mask;
    ASSERT_TRUE(wnd.ParseComponentXml(Manifest("<root>" + items + "</root>")));
    wnd.GetNeedInstallComponentItems();
    EXPECT_EQ(Ids(wnd.installList()), expected) << mask;
  }
}
