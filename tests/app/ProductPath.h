// Where the tests find the product they run.
#pragma once

#include <string>

#include "base/TextConvert.h"

// The built OrvoDownloader.exe as Wine sees it (the host's / is drive Z:).
inline std::wstring ProductExe() {
  std::wstring path = L"Z:" + Utf8ToWide(ORVO_PRODUCT_EXE_UNIX);
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}
