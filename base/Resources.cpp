#include "base/Handles.h"
#include "base/utils.h"

bool ExtractResourceToFile(HMODULE module, int id, const std::wstring& path) {
  if (module == nullptr || path.empty()) return false;
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"CUSTOM");
  if (resource == nullptr) return false;
  const DWORD size = SizeofResource(module, resource);
  if (size == 0) return false;
  HGLOBAL loaded = LoadResource(module, resource);  // resources are never freed
  if (loaded == nullptr) return false;
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr) return false;
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_ALL, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes, size, &written, nullptr) != FALSE;
}
