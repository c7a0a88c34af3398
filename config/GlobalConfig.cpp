#include "config/GlobalConfig.h"

#include <shlobj.h>

#include <cwctype>
#include <utility>

#include "base/Handles.h"
#include "base/Log.h"
#include "base/utils.h"
#include "config/ExternData.h"
#include "report/DataReport.h"
#include "report/ReportManager.h"

LOG_SOURCE("GlobalConfig");

namespace {

constexpr const char kTag[] = "GConfig";
constexpr wchar_t kKestaPackage[] = L"com.kesta.skyfall";

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

LSTATUS OpenKey(HKEY root, const std::wstring& subkey, REGSAM access, UniqueHKey& key) {
  return RegOpenKeyExW(root, subkey.c_str(), 0, access, key.put());
}

LSTATUS CreateKey(HKEY root, const std::wstring& subkey, UniqueHKey& key) {
  return RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr);
}

// Reads a string value into a zeroed buffer of `capacity` characters.
LSTATUS ReadString(HKEY key, const wchar_t* name, size_t capacity, std::wstring& value) {
  std::wstring buffer(capacity, L'\0');
  DWORD size = static_cast<DWORD>(capacity * sizeof(wchar_t));
  DWORD type = 0;
  const LSTATUS status =
      RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (status != ERROR_SUCCESS) return status;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;
  buffer.resize(std::min<size_t>(capacity, size / sizeof(wchar_t)));
  value = buffer.substr(0, buffer.find(L'\0'));
  return ERROR_SUCCESS;
}

LSTATUS WriteString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LSTATUS WriteDword(HKEY key, const wchar_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// The running executable's own file, read at 64-bit offsets.
class FileSource : public ExternDataSource {
 public:
  explicit FileSource(HANDLE file) : file_(file) {}
  bool Read(std::uint64_t offset, std::uint32_t size, std::uint8_t* buffer, std::uint32_t& read,
            std::uint32_t& error) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(file_, buffer, size, &got, &at)) {
      error = GetLastError();
      // Reading at the end of the file is a short read, not a failure.
      if (error != ERROR_HANDLE_EOF) return false;
    }
    read = got;
    return true;
  }

 private:
  HANDLE file_;
};

}  // namespace

// ---- decisions ----

void ApplyConfigJson(const nlohmann::json& json, GlobalConfig& config) {
  if (!json.is_object()) return;
  // Numbers may come as integer, unsigned, floating (truncated) or boolean
  // (1/0); the build id only as a number.
  auto number = [&json](const char* key, auto& field) {
    const auto it = json.find(key);
    if (it == json.end()) return;
    using Field = std::remove_reference_t<decltype(field)>;
    field = it->template get<Field>();
  };
  auto text = [&json](const char* key, std::string& field) {
    if (const auto it = json.find(key); it != json.end()) field = it->template get<std::string>();
  };
  auto flag = [&json](const char* key, bool& field) {
    if (const auto it = json.find(key); it != json.end()) field = it->template get<bool>();
  };
  if (const auto it = json.find("buildid"); it != json.end()) {
    if (!it->is_number()) {
      throw nlohmann::json::type_error::create(302, std::string("type must be number, but is ") + it->type_name(),
                                               &*it);
    }
    config.buildid = it->get<std::uint64_t>();
  }
  number("supplyid", config.supplyid);
  number("international", config.international);
  text("pkgName", config.pkgName);
  text("area", config.area);
  number("silentMode", config.silentMode);
  text("marketExternParams", config.marketExternParams);
  text("sourceid", config.sourceid);
  number("bkgPngNumber", config.bkgPngNumber);
  flag("createMarketIcon", config.createMarketIcon);
  flag("installMarket", config.installMarket);
  flag("installUI", config.installUI);
  flag("installRootfs", config.installRootfs);
  flag("installVDI", config.installVDI);
  flag("installVDI71", config.installVDI71);
  flag("installCabin", config.installCabin);
}

LanguageChoice ChooseFirstRunLanguage(const std::wstring& defaultLanguage, std::string_view pkgName,
                                      std::int32_t international) {
  LanguageChoice choice{defaultLanguage, false};
  if (EqualsIgnoringCase(AnsiToWide(pkgName), kKestaPackage)) {
    choice.language = L"vi";
    choice.writeKestaVersion = true;
  }
  if (international != 0) {
    if (EqualsIgnoringCase(choice.language, L"zh_CN") || EqualsIgnoringCase(choice.language, L"zh")) {
      choice.language = L"en";
    }
  } else {
    choice.language = L"zh_CN";
  }
  return choice;
}

std::wstring ChooseDefaultLanguage(const std::wstring& storedLanguage, LANGID uiLanguage, const LocaleNames& locale) {
  if (!storedLanguage.empty() && GlobalConfig::IsSupportedLanguage(storedLanguage)) return storedLanguage;
  if (uiLanguage == 0x0804) return L"zh_CN";
  if (!locale.languageCountry.empty() && GlobalConfig::IsSupportedLanguage(locale.languageCountry)) {
    return locale.languageCountry;
  }
  if (!locale.language.empty() && GlobalConfig::IsSupportedLanguage(locale.language)) return locale.language;
  return L"zh_CN";
}

// ---- GlobalConfig ----

GlobalConfig& GlobalConfig::Instance() {
  // Built before any worker thread exists; intentionally never destroyed.
  static GlobalConfig* const config = new GlobalConfig(CurrentSystemFacts());
  return *config;
}

SystemFacts GlobalConfig::CurrentSystemFacts() {
  SystemFacts facts;
  facts.installRoot = ChooseInstallDrive();
  wchar_t path[MAX_PATH] = {};
  facts.executablePath.assign(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  facts.uiLanguage = GetUserDefaultUILanguage();
  facts.locale = GetLocaleNames();
  return facts;
}

GlobalConfig::GlobalConfig(const SystemFacts& facts) : installRoot(facts.installRoot), facts_(facts) {
  CheckBrokenInstallRecords();
  InitParamsFromSelf();
  InitTempPath();
  InitInstallPath();
  InitSupplyid();
  InitLanguageSetting();
  HandOverReportIdentifiers();
  LOG_INFO(kTag) << "client id: 190912";
}

void GlobalConfig::CheckBrokenInstallRecords() {
  UniqueHKey product;
  if (OpenKey(HKEY_LOCAL_MACHINE, kProductKey, KEY_READ | KEY_WRITE, product) != ERROR_SUCCESS) return;
  for (DWORD index = 0;; ++index) {
    wchar_t name[MAX_PATH];
    DWORD length = MAX_PATH;
    if (RegEnumKeyExW(product.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    if (IsInstallPathBroken(std::wstring(name, length))) {
      DataReport::Instance().SendEvent(3, 0, 0, 0);
      break;
    }
  }
}

bool GlobalConfig::IsInstallPathBroken(const std::wstring& subkey) {
  UniqueHKey key;
  if (OpenKey(HKEY_LOCAL_MACHINE, std::wstring(kProductKey) + L"\\" + subkey, KEY_READ | KEY_WRITE, key) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::wstring path;
  if (ReadString(key.get(), L"InstallPath", MAX_PATH + 1, path) != ERROR_SUCCESS || path.empty()) return false;
  return !IsDirectory(path);
}

void GlobalConfig::InitParamsFromSelf() {
  UniqueFile file(CreateFileW(facts_.executablePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) {
    const DWORD error = GetLastError();
    LOG_ERROR(kTag) << "get file size failed." << " error code: " << error;
    return;
  }
  FileSource source(file.get());
  const ExternDataWalk walk = WalkExternData(source, static_cast<std::uint64_t>(size.QuadPart));
  for (const ExternDataLogEvent& event : walk.log) LOG_AT(event.level, kTag) << Utf8ToWide(event.text);

  // Later blocks overwrite earlier ones: the block nearest the start of the
  // chain, found last, wins.
  for (const nlohmann::json& block : walk.blocks) {
    try {
      ApplyConfigJson(block, *this);
      if (block.is_object() && block.contains("gameName")) gameName = Utf8ToWide(block["gameName"].get<std::string>());
      if (block.is_object() && block.contains("title")) title = Utf8ToWide(block["title"].get<std::string>());
    } catch (const nlohmann::json::exception& e) {
      LOG_ERROR(kTag) << "init params from json failed. exception: " << JsonErrorMessage(e);
      break;
    }
  }
  LOG_INFO(kTag) << "need install pkg [" << pkgName << "]";
  LOG_INFO(kTag) << "OrvoDownloader inner SupplyId [" << supplyid << "]";
  LOG_INFO(kTag) << "OrvoDownloader inner buildid [" << buildid << "]";
  LOG_INFO(kTag) << "OrvoDownloader inner appid [" << sourceid << "]";
  LOG_INFO(kTag) << "Background png number: " << bkgPngNumber;
}

void GlobalConfig::InitTempPath() {
  UniqueHKey key;
  const LSTATUS opened = CreateKey(HKEY_CURRENT_USER, kProductKey, key);
  if (opened != ERROR_SUCCESS) {
    LOG_WARN(kTag) << "Open/Create " << kProductKey << " failed. error code: " << static_cast<int>(opened);
  }
  std::wstring stored;
  const LSTATUS read = ReadString(key.get(), L"TempPath", MAX_PATH, stored);
  if (read == ERROR_SUCCESS && !stored.empty()) {
    tempPath = stored;
  } else {
    LOG_WARN(kTag) << "TempPath" << " reg value read failed. error code: " << static_cast<int>(read);
  }
  if (!IsDirectory(tempPath)) {
    tempPath = installRoot + L"Temp\\Dunmere\\Component\\";
    // A folder that cannot be made is not fatal here: the download into it
    // fails later and reports it.
    if (!IsDirectory(tempPath)) SHCreateDirectoryExW(nullptr, tempPath.c_str(), nullptr);
    const LSTATUS written = WriteString(key.get(), L"TempPath", tempPath);
    if (written != ERROR_SUCCESS) {
      LOG_WARN(kTag) << "Set reg value: " << "TempPath" << " failed. error code: " << static_cast<int>(written);
    }
  }
  LOG_INFO(kTag) << "current temp path: [" << tempPath << "]";
}

void GlobalConfig::InitInstallPath() {
  installPath = installRoot + L"Program Files\\Saffrel\\";
  LOG_INFO(kTag) << "current install path: " << installPath;
}

void GlobalConfig::InitSupplyid() {
  UniqueHKey key;
  DWORD stored = 0;
  DWORD size = sizeof stored;
  DWORD type = 0;
  if (OpenKey(HKEY_LOCAL_MACHINE, kProductKey, KEY_READ | KEY_WRITE, key) == ERROR_SUCCESS &&
      RegQueryValueExW(key.get(), L"SupplyId", nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD) {
    LOG_INFO(kTag) << "read supplyid [" << stored << "] from register";
  } else if (CreateKey(HKEY_LOCAL_MACHINE, kProductKey, key) == ERROR_SUCCESS &&
             WriteDword(key.get(), L"SupplyId", supplyid) == ERROR_SUCCESS) {
    LOG_INFO(kTag) << "write supplyid " << supplyid << " to register";
  }
  LOG_INFO(kTag) << "runtime supplyid [" << supplyid << "]";
}

void GlobalConfig::InitLanguageSetting() {
  language = ReadUserLanguage(KEY_READ | KEY_WRITE);
  if (language.empty()) {
    const LanguageChoice choice = ChooseFirstRunLanguage(DefaultLanguage(), pkgName, international);
    if (choice.writeKestaVersion) {
      UniqueHKey machine;
      if (OpenKey(HKEY_LOCAL_MACHINE, kProductKey, KEY_READ | KEY_WRITE, machine) == ERROR_SUCCESS) {
        WriteDword(machine.get(), L"KestaVersion", 1);
      }
    }
    language = choice.language;
    UniqueHKey user;
    if (OpenKey(HKEY_CURRENT_USER, kProductKey, KEY_READ | KEY_WRITE, user) == ERROR_SUCCESS ||
        CreateKey(HKEY_CURRENT_USER, kProductKey, user) == ERROR_SUCCESS) {
      WriteString(user.get(), L"UserLanguage", language);
    }
  }
  LOG_INFO(kTag) << "current language: " << language;
}

void GlobalConfig::HandOverReportIdentifiers() {
  DataReport& report = DataReport::Instance();
  report.strcommon0 = sourceid;
  report.client_version = buildid;
  report.supplyid = supplyid;
  report.language = language;
  OrvoReportMgr::CReportManager& manager = OrvoReportMgr::CReportManager::Instance();
  manager.clientVersion = report.client_version;
  manager.supplyId = static_cast<std::uint32_t>(report.supplyid);
  if (!report.guid.empty()) manager.guid = report.guid;
}

std::wstring GlobalConfig::ReadUserLanguage(REGSAM access) {
  UniqueHKey key;
  std::wstring value;
  if (OpenKey(HKEY_CURRENT_USER, kProductKey, access, key) != ERROR_SUCCESS) return {};
  if (ReadString(key.get(), L"UserLanguage", MAX_PATH, value) != ERROR_SUCCESS) return {};
  return value;
}

bool GlobalConfig::IsSupportedLanguage(std::wstring_view code) {
  for (const wchar_t* supported : SupportedLanguages) {
    if (EqualsIgnoringCase(code, supported)) return true;
  }
  return false;
}

LocaleNames GlobalConfig::GetLocaleNames() {
  LocaleNames names;
  wchar_t buffer[16];
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, buffer, 16) > 0) {
    names.language = buffer;
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, buffer, 16) > 0) {
      names.languageCountry = names.language + L"_" + buffer;
    }
  }
  return names;
}

std::wstring GlobalConfig::DefaultLanguage() const {
  return ChooseDefaultLanguage(ReadUserLanguage(KEY_READ), facts_.uiLanguage, facts_.locale);
}
