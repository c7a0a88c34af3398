#include "base/utils.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/Handles.h"

HRESULT CreateShellLink(const std::wstring& target, const std::wstring& shortcutPath,
                        const std::optional<std::wstring>& arguments, const std::wstring& description,
                        const std::optional<std::wstring>& iconPath) {
  ComPtr<IShellLinkW> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
  if (FAILED(hr)) return hr;
  link->SetPath(target.c_str());
  link->SetDescription(description.c_str());
  if (arguments) link->SetArguments(arguments->c_str());
  if (iconPath) link->SetIconLocation(iconPath->c_str(), 0);
  ComPtr<IPersistFile> file;
  hr = link->QueryInterface(IID_IPersistFile, file.put_void());
  if (FAILED(hr)) return hr;
  return file->Save(shortcutPath.c_str(), TRUE);
}

HRESULT CreateDesktopShortcut(const std::wstring& target, const std::wstring& name,
                              const std::optional<std::wstring>& arguments, const std::wstring& description,
                              const std::optional<std::wstring>& iconPath) {
  wchar_t desktop[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOP, TRUE)) return S_FALSE;
  const std::wstring shortcutPath = std::wstring(desktop) + L"\\" + name;
  if (GetFileAttributesW(shortcutPath.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFileW(shortcutPath.c_str());
  return CreateShellLink(target, shortcutPath, arguments, description, iconPath);
}
