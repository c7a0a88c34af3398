#include "component/InstallRules.h"

#include "component/InstalledComponents.h"

namespace {

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

std::wstring ComponentDownloadDir(std::wstring_view tempPath, std::wstring_view localaddpath) {
  std::wstring dir(tempPath);
  dir += localaddpath;
  dir += L'\\';
  return dir;
}

std::wstring ComponentInstallFolder(std::wstring_view installPath, std::wstring_view localaddpath) {
  std::wstring folder(installPath);
  folder += localaddpath;
  return folder;
}

bool DigestMatches(std::wstring_view digest, std::wstring_view hash) {
  if (digest.empty() || digest.size() != hash.size()) return false;
  for (size_t i = 0; i < digest.size(); ++i) {
    if (LowerAscii(digest[i]) != LowerAscii(hash[i])) return false;
  }
  return true;
}

std::wstring InstallerArguments(std::int32_t id, std::string_view pkgName, bool createMarketIcon) {
  if (id == static_cast<std::int32_t>(ComponentId::Portalis) && pkgName.empty() && !createMarketIcon) {
    return L"-nodesktopIcon";
  }
  return {};
}
