#include "base/utils.h"

#include <shlobj.h>


std::wstring DirectoryOfPath(std::wstring_view path) {
  const size_t slash = path.rfind(L'\\');
  return std::wstring(slash == std::wstring_view::npos ? std::wstring_view{} : path.substr(0, slash));
}

std::wstring GetModuleDirectory() {
  wchar_t modulePath[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  wchar_t fullPath[MAX_PATH] = {};
  const DWORD fullLength = GetFullPathNameW(modulePath, MAX_PATH, fullPath, nullptr);
  if (fullLength == 0 || fullLength >= MAX_PATH) return {};
  return DirectoryOfPath(std::wstring_view(fullPath, fullLength));
}

std::wstring GetLocalAppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_LOCAL_APPDATA, TRUE)) return {};
  std::wstring folder = path;
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}
