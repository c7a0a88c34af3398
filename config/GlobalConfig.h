// The process-wide settings of one run. Built once, on the window thread
// before any worker exists, from the configuration blocks appended to the
// executable and from the registry (product key "Software\Quenlo\Lumora",
// per-machine values under HKEY_LOCAL_MACHINE, per-user under
// HKEY_CURRENT_USER, 32-bit view). Read by everything afterwards without a
// lock; only installPath changes later, on the window thread, before the
// installation starts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

inline constexpr wchar_t kProductKey[] = L"Software\\Quenlo\\Lumora";

// The user interface languages with a locale file, in this order.
inline constexpr const wchar_t* SupportedLanguages[] = {L"en", L"zh_CN", L"pt", L"ru", L"tr",
                                                        L"vi", L"id",    L"ko", L"th", L"zh_TW"};

// The user locale's ISO 639 name ("pt") and, when the country is known, that
// name + "_" + the ISO 3166 name ("pt_BR").
struct LocaleNames {
  std::wstring language;
  std::wstring languageCountry;
};

// The machine facts the configuration decides on, gathered by
// CurrentSystemFacts(); tests pass their own.
struct SystemFacts {
  std::wstring installRoot;     // ChooseInstallDrive(): "X:\"
  std::wstring executablePath;  // file whose appended blocks are read
  LANGID uiLanguage = 0;        // GetUserDefaultUILanguage()
  LocaleNames locale;           // GetLocaleNames()
};

class GlobalConfig {
 public:
  // The run's configuration, built on the first call (window thread, before
  // any worker). Never destroyed.
  static GlobalConfig& Instance();

  static SystemFacts CurrentSystemFacts();

  // Runs every step of the configuration against the given facts and the
  // (possibly redirected) registry. Instance() uses CurrentSystemFacts().
  explicit GlobalConfig(const SystemFacts& facts);
  GlobalConfig(const GlobalConfig&) = delete;
  GlobalConfig& operator=(const GlobalConfig&) = delete;

  // Fields, in declaration order; the injected configuration's keys share their names.
  std::int32_t international = 0;
  std::uint32_t supplyid = 0;
  std::uint64_t buildid = 0;
  std::string area;
  std::string sourceid;
  std::string pkgName;
  std::string marketExternParams;
  std::int32_t silentMode = 0;
  std::int32_t bkgPngNumber = 0;
  std::wstring title;
  std::wstring gameName;
  std::wstring language = L"zh_CN";
  std::wstring tempPath;
  std::wstring installRoot;
  std::wstring installPath;
  bool createMarketIcon = false;
  bool installMarket = true;
  bool installUI = false;
  bool installRootfs = false;
  bool installVDI = false;
  bool installVDI71 = false;
  bool installCabin = false;

  // HKCU "UserLanguage", empty when it cannot be read.
  static std::wstring ReadUserLanguage(REGSAM access = KEY_READ | KEY_WRITE);
  static bool IsSupportedLanguage(std::wstring_view code);
  static LocaleNames GetLocaleNames();
  // First match: a supported stored language, "zh_CN" for a Chinese (PRC)
  // user interface, the supported ll_CC, the supported ll, "zh_CN".
  std::wstring DefaultLanguage() const;
  // True when the subkey's "InstallPath" is set but missing or not a folder.
  static bool IsInstallPathBroken(const std::wstring& subkey);

 private:
  void CheckBrokenInstallRecords();
  void InitParamsFromSelf();
  void InitTempPath();
  void InitInstallPath();
  void InitSupplyid();
  void InitLanguageSetting();
  void HandOverReportIdentifiers();

  SystemFacts facts_;
};

// Copies the recognised keys of one configuration block, except "gameName"
// and "title", in the order of the key table. A key of the wrong type throws
// the JSON library's type error; keys before it stay applied. A value that
// is not an object changes nothing.
void ApplyConfigJson(const nlohmann::json& json, GlobalConfig& config);

// The language decision of a run without a stored language.
struct LanguageChoice {
  std::wstring language;
  bool writeKestaVersion = false;
};
LanguageChoice ChooseFirstRunLanguage(const std::wstring& defaultLanguage, std::string_view pkgName,
                                      std::int32_t international);

// The decision of DefaultLanguage() over its facts.
std::wstring ChooseDefaultLanguage(const std::wstring& storedLanguage, LANGID uiLanguage, const LocaleNames& locale);
