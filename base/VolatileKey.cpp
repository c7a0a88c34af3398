#include "base/Handles.h"
#include "base/utils.h"

namespace {

constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;

LSTATUS CreateKey(const wchar_t* path, UniqueHKey& key, DWORD& disposition) {
  return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess, nullptr, key.put(),
                         &disposition);
}

// Deletes parentPath\name and every key below it.
void DeleteSubtree(const wchar_t* parentPath, const wchar_t* name) {
  UniqueHKey parent;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, parentPath, 0, kAccess, parent.put()) != ERROR_SUCCESS) return;
  RegDeleteTreeW(parent.get(), name);
}

}  // namespace

void RemoveVolatileProductKey() {
  UniqueHKey key;
  DWORD disposition = 0;
  const LSTATUS status = CreateKey(L"Software\\Quenlo\\Lumora", key, disposition);
  if (status == ERROR_SUCCESS) {
    if (disposition == REG_OPENED_EXISTING_KEY) {
      key.reset();
      DeleteSubtree(L"Software\\Quenlo", L"Lumora");
    }
  } else if (status == ERROR_CHILD_MUST_BE_VOLATILE) {
    if (CreateKey(L"Software\\Quenlo", key, disposition) == ERROR_SUCCESS && disposition == REG_OPENED_EXISTING_KEY) {
      key.reset();
      DeleteSubtree(L"Software", L"Quenlo");
    }
  }
}
