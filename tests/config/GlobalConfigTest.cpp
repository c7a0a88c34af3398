#include "config/GlobalConfig.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/TextConvert.h"
#include "config/ExternData.h"
#include "report/DataReport.h"
#include "tests/config/TestFacts.h"
#include "tests/support/TestSupport.h"

using testing_support::LogCapture;
using testing_support::RegistryOverride;
using testing_support::ScratchDir;

namespace {

std::optional<DWORD> ReadDword(HKEY root, const wchar_t* name) {
  DWORD value = 0, size = sizeof value, type = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, kProductKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_DWORD) return std::nullopt;
  return value;
}

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& subkey, const wchar_t* name) {
  wchar_t value[512] = {};
  DWORD size = sizeof value - sizeof(wchar_t), type = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  return std::wstring(value);
}

void Write(HKEY root, const std::wstring& subkey, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

void Write(HKEY root, const std::wstring& subkey, const wchar_t* name, DWORD value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class GlobalConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DataReport::Instance().SetSender([this](ReportEventJson event) {
      events.push_back(event);
      supplyIdWhenSent.push_back(DataReport::Instance().supplyid);
    });
  }
  void TearDown() override { DataReport::Instance().SetSender([](ReportEventJson) {}); }

  // Facts of an English (United States) machine whose executable carries the
  // given blocks (the last one ends the file).
  SystemFacts Facts(const std::vector<std::string>& blocks = {}) {
    std::string file = "MZ" + std::string(300, '\x90');
    for (const std::string& json : blocks) file += BuildExternDataBlock(json, json.size() + 6);
    return EnglishMachineFacts(dir.path(), file);
  }

  RegistryOverride registry;
  ScratchDir dir;
  LogCapture log;
  std::vector<nlohmann::json> events;
  std::vector<std::uint64_t> supplyIdWhenSent;
};

}  // namespace

TEST_F(GlobalConfigTest, FirstRunOnAnEmptyRegistry) {
  const SystemFacts facts = Facts();
  const GlobalConfig config(facts);
  const std::wstring root = dir.path() + L"\\";
  const std::wstring temp = root + L"Temp\\Dunmere\\Component\\";

  EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, L"SupplyId"), 0u);
  EXPECT_EQ(config.tempPath, temp);
  EXPECT_TRUE(IsDirectory(temp));
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, L"TempPath"), temp);
  EXPECT_EQ(config.installPath, root + L"Program Files\\Saffrel\\");
  EXPECT_EQ(config.language, L"zh_CN");
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, L"UserLanguage"), L"zh_CN");
  EXPECT_FALSE(ReadDword(HKEY_LOCAL_MACHINE, L"KestaVersion").has_value());
  EXPECT_TRUE(events.empty());

  const std::string self = "[GConfig][GlobalConfig][GlobalConfig::InitParamsFromSelf] ";
  const std::vector<std::string> expected = {
      "[Warn]" + self + "check magic failed or length is zero",
      "[Info]" + self + "need install pkg []",
      "[Info]" + self + "OrvoDownloader inner SupplyId [0]",
      "[Info]" + self + "OrvoDownloader inner buildid [0]",
      "[Info]" + self + "OrvoDownloader inner appid []",
      "[Info]" + self + "Background png number: 0",
      "[Warn][GConfig][GlobalConfig][GlobalConfig::InitTempPath] TempPath reg value read failed. error code: 2",
      "[Info][GConfig][GlobalConfig][GlobalConfig::InitTempPath] current temp path: [" + WideToUtf8(temp) + "]",
      "[Info][GConfig][GlobalConfig][GlobalConfig::InitInstallPath] current install path: " +
          WideToUtf8(config.installPath),
      "[Info][GConfig][GlobalConfig][GlobalConfig::InitSupplyid] write supplyid 0 to register",
      "[Info][GConfig][GlobalConfig][GlobalConfig::InitSupplyid] runtime supplyid [0]",
      "[Info][GConfig][GlobalConfig][GlobalConfig::InitLanguageSetting] current language: zh_CN",
      "[Info][GConfig][GlobalConfig][GlobalConfig::GlobalConfig] client id: 190912",
  };
  EXPECT_EQ(log.Lines(), expected);
}

TEST_F(GlobalConfigTest, LanguageOfAFirstRun) {
  struct Case {
    const char* name;
    std::int32_t international;
    LANGID ui;
    LocaleNames locale;
    const char* pkgName;
    const wchar_t* expected;
    bool kesta;
  } const kCases[] = {
      {"english system, international", 1, 0x0409, {L"en", L"en_US"}, "", L"en", false},
      {"chinese ui, international", 1, 0x0804, {L"zh", L"zh_CN"}, "", L"en", false},
      {"english system, domestic", 0, 0x0409, {L"en", L"en_US"}, "", L"zh_CN", false},
      {"taiwan locale", 1, 0x0404, {L"zh", L"zh_TW"}, "", L"zh_TW", false},
      {"brazil locale", 1, 0x0416, {L"pt", L"pt_BR"}, "", L"pt", false},
      {"unsupported locale", 1, 0x040C, {L"fr", L"fr_FR"}, "", L"en", false},
      {"kesta, international", 1, 0x0409, {L"en", L"en_US"}, "com.kesta.skyfall", L"vi", true},
      {"kesta in capitals, domestic", 0, 0x0409, {L"en", L"en_US"}, "COM.Kesta.Skyfall", L"zh_CN", true},
  };
  for (const Case& c : kCases) {
    RegistryOverride fresh;
    SystemFacts facts = Facts({"{\"international\":" + std::to_string(c.international) + ",\"pkgName\":\"" +
                               c.pkgName + "\"}"});
    facts.uiLanguage = c.ui;
    facts.locale = c.locale;
    const GlobalConfig config(facts);
    EXPECT_EQ(config.language, c.expected) << c.name;
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, L"UserLanguage"), c.expected) << c.name;
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, L"KestaVersion"), c.kesta ? std::optional<DWORD>(1) : std::nullopt)
        << c.name;
  }
}

TEST_F(GlobalConfigTest, StoredLanguageIsUsedUnchanged) {
  Write(HKEY_CURRENT_USER, kProductKey, L"UserLanguage", std::wstring(L"fr"));
  const GlobalConfig config(Facts({"{\"international\":1,\"pkgName\":\"com.kesta.skyfall\"}"}));
  EXPECT_EQ(config.language, L"fr");
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, L"UserLanguage"), L"fr");
  EXPECT_FALSE(ReadDword(HKEY_LOCAL_MACHINE, L"KestaVersion").has_value());
}

TEST(DefaultLanguageTest, FirstMatchWins) {
  struct Case {
    const wchar_t* stored;
    LANGID ui;
    LocaleNames locale;
    const wchar_t* expected;
  } const kCases[] = {
      {L"RU", 0x0804, {L"zh", L"zh_CN"}, L"RU"},  // stored and supported, any case
      {L"fr", 0x0804, {L"en", L"en_US"}, L"zh_CN"},
      {L"", 0x0409, {L"zh", L"zh_TW"}, L"zh_TW"},
      {L"", 0x0409, {L"ko", L"ko_KR"}, L"ko"},
      {L"", 0x0409, {L"de", L"de_DE"}, L"zh_CN"},
      {L"", 0x0409, {L"", L""}, L"zh_CN"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(ChooseDefaultLanguage(c.stored, c.ui, c.locale), c.expected) << c.locale.languageCountry;
  }
}

TEST_F(GlobalConfigTest, StoredTempPathIsKeptWhenItExistsAndReplacedWhenMissing) {
  const std::wstring existing = dir / L"my temp";
  CreateDirectoryW(existing.c_str(), nullptr);
  Write(HKEY_CURRENT_USER, kProductKey, L"TempPath", existing);
  {
    const GlobalConfig config(Facts());
    EXPECT_EQ(config.tempPath, existing);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, L"TempPath"), existing);
  }
  Write(HKEY_CURRENT_USER, kProductKey, L"TempPath", dir / L"gone");
  const GlobalConfig config(Facts());
  const std::wstring fallback = dir.path() + L"\\Temp\\Dunmere\\Component\\";
  EXPECT_EQ(config.tempPath, fallback);
  EXPECT_TRUE(IsDirectory(fallback));
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, L"TempPath"), fallback);
}

TEST_F(GlobalConfigTest, StoredSupplyIdIsOnlyLogged) {
  Write(HKEY_LOCAL_MACHINE, kProductKey, L"SupplyId", DWORD{5});
  const GlobalConfig config(Facts({"{\"supplyid\":9}"}));
  EXPECT_EQ(config.supplyid, 9u);
  EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, L"SupplyId"), 5u);
  EXPECT_TRUE(log.Contains("] read supplyid [5] from register"));
  EXPECT_TRUE(log.Contains("] OrvoDownloader inner SupplyId [9]"));
  EXPECT_TRUE(log.Contains("] runtime supplyid [9]"));
  EXPECT_FALSE(log.Contains("write supplyid"));
}

TEST_F(GlobalConfigTest, BrokenInstallRecordsSendOneEventBeforeTheHandOver) {
  const std::wstring file = dir / L"a file";
  testing_support::WriteFileBytes(file, "x");
  const std::wstring product = kProductKey;
  Write(HKEY_LOCAL_MACHINE, product + L"\\Good", L"InstallPath", dir.path());
  Write(HKEY_LOCAL_MACHINE, product + L"\\AFile", L"InstallPath", file);
  Write(HKEY_LOCAL_MACHINE, product + L"\\Missing", L"InstallPath", dir / L"missing");
  Write(HKEY_LOCAL_MACHINE, product + L"\\Empty", L"InstallPath", std::wstring());
  const GlobalConfig config(Facts({"{\"supplyid\":9,\"buildid\":77,\"sourceid\":\"app-1\"}"}));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], (nlohmann::json{{"ireserve1", 3}, {"ireserve5", 0}, {"ireserve6", 0}, {"ireserve7", 0}}));
  EXPECT_EQ(supplyIdWhenSent[0], 0u);
  EXPECT_FALSE(GlobalConfig::IsInstallPathBroken(L"Good"));
  EXPECT_FALSE(GlobalConfig::IsInstallPathBroken(L"Empty"));
  EXPECT_FALSE(GlobalConfig::IsInstallPathBroken(L"NoSuchKey"));
  EXPECT_TRUE(GlobalConfig::IsInstallPathBroken(L"AFile"));
  EXPECT_TRUE(GlobalConfig::IsInstallPathBroken(L"Missing"));
}

TEST_F(GlobalConfigTest, IdentifiersReachTheReportFront) {
  const GlobalConfig config(Facts({"{\"supplyid\":9,\"buildid\":1234567890123,\"sourceid\":\"app-1\"}"}));
  const DataReport& front = DataReport::Instance();
  EXPECT_EQ(front.supplyid, 9u);
  EXPECT_EQ(front.client_version, 1234567890123u);
  EXPECT_EQ(front.strcommon0, "app-1");
  EXPECT_EQ(front.language, L"zh_CN");
}

TEST_F(GlobalConfigTest, BlockNearestTheStartWinsAndTextsAreUtf8) {
  const GlobalConfig config(Facts({"{\"supplyid\":1,\"gameName\":\"\xe5\xa4\xa9\xe7\xa9\xba\",\"title\":\"T1\"}",
                                   "{\"supplyid\":2,\"area\":\"eu\",\"title\":\"T2\"}"}));
  EXPECT_EQ(config.supplyid, 1u);
  EXPECT_EQ(config.area, "eu");
  EXPECT_EQ(config.gameName, L"\u5929\u7a7a");
  EXPECT_EQ(config.title, L"T1");
}

TEST_F(GlobalConfigTest, TypeErrorKeepsEarlierKeysAndStopsTheRest) {
  const GlobalConfig config(Facts({
      "{\"supplyid\":1,\"bkgPngNumber\":4}",  // nearest the start: never applied
      "{\"buildid\":7,\"supplyid\":5,\"international\":1,\"pkgName\":\"p\",\"area\":\"a\",\"silentMode\":\"1\","
      "\"sourceid\":\"s\",\"installUI\":true}",
  }));
  EXPECT_EQ(config.buildid, 7u);
  EXPECT_EQ(config.supplyid, 5u);
  EXPECT_EQ(config.international, 1);
  EXPECT_EQ(config.pkgName, "p");
  EXPECT_EQ(config.area, "a");
  EXPECT_EQ(config.silentMode, 0);
  EXPECT_EQ(config.sourceid, "");
  EXPECT_FALSE(config.installUI);
  EXPECT_EQ(config.bkgPngNumber, 0);
  EXPECT_TRUE(log.Contains("[Error][GConfig][GlobalConfig][GlobalConfig::InitParamsFromSelf] init params from json "
                           "failed. exception: type must be number, but is string"));
}

TEST_F(GlobalConfigTest, KeyTypesFollowTheKeyTable) {
  GlobalConfig config(Facts());
  struct Case {
    const char* json;
    const char* error;  // nullptr: applies
  } const kCases[] = {
      {R"({"supplyid":true,"international":false,"bkgPngNumber":3.9,"buildid":12.7})", nullptr},
      {R"({"installUI":1})", "type must be boolean, but is number"},
      {R"({"buildid":true})", "type must be number, but is boolean"},
      {R"({"pkgName":5})", "type must be string, but is number"},
      {R"({"silentMode":null})", "type must be number, but is null"},
      {R"([1,2,3])", nullptr},
      {R"(42)", nullptr},
      {R"({"unknown":[1],"installCabin":true,"installMarket":false})", nullptr},
  };
  for (const Case& c : kCases) {
    try {
      ApplyConfigJson(nlohmann::json::parse(c.json), config);
      EXPECT_EQ(c.error, nullptr) << c.json;
    } catch (const nlohmann::json::type_error& e) {
      ASSERT_NE(c.error, nullptr) << c.json << ": " << e.what();
      EXPECT_EQ(JsonErrorMessage(e), c.error) << c.json;
    }
  }
  EXPECT_EQ(config.supplyid, 1u);
  EXPECT_EQ(config.international, 0);
  EXPECT_EQ(config.bkgPngNumber, 3);
  EXPECT_EQ(config.buildid, 12u);
  EXPECT_TRUE(config.installCabin);
  EXPECT_FALSE(config.installMarket);
  EXPECT_FALSE(config.installUI);
}

// The real path: a copy of a program with blocks appended reads its own file.
TEST(GlobalConfigProcessTest, ExecutableReadsTheBlocksAppendedToItself) {
  ScratchDir dir;
  const std::wstring copy = dir / L"channel.exe";
  std::string bytes = testing_support::ReadFileBytes(testing_support::TestBinaryDir() + L"\\config_child.exe");
  ASSERT_FALSE(bytes.empty());
  bytes += BuildExternDataBlock("{\"supplyid\":42,\"pkgName\":\"com.example.game\"}", 192);
  bytes += BuildExternDataBlock("{\"supplyid\":7,\"buildid\":99}", 64);
  ASSERT_TRUE(testing_support::WriteFileBytes(copy, bytes));
  const auto run = testing_support::RunChild(L"\"" + copy + L"\" \"" + dir.path() + L"\\\\\"");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("supplyid=42 buildid=99 pkgName=com.example.game"), std::string::npos) << run.output;
}
