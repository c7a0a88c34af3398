#include <windows.h>

#include <algorithm>
#include <string>

#include "base/Handles.h"
#include "component/XmlDocument.h"

bool XmlDocument::Load(const std::wstring& path) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart > 0x7FFFFFFF) return false;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (!ReadFile(file.get(), bytes.data() + done, wanted, &read, nullptr)) return false;
    // The file shrank while we read it: parse what is there.
    if (read == 0) break;
    done += read;
  }
  bytes.resize(done);
  return Parse(bytes);
}
