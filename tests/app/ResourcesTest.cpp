#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/TextConvert.h"
#include "app/Entry.h"
#include "base/utils.h"

namespace {

std::wstring ProductExe() {
  std::wstring path = L"Z:" + Utf8ToWide(ORVO_PRODUCT_EXE_UNIX);
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

std::string Resource(HMODULE module, const wchar_t* type, int id) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const auto* bytes = static_cast<const char*>(LockResource(loaded));
  return std::string(bytes, SizeofResource(module, found));
}

}  // namespace

TEST(ResourcesTest, ProductCarriesSkinIconLibraryManifestAndVersion) {
  HMODULE product = LoadLibraryExW(ProductExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(product, nullptr) << GetLastError();
  const std::string skin = Resource(product, L"ZIPRES", 133);
  ASSERT_GE(skin.size(), 22u);  // at least a ZIP's end record
  EXPECT_NE(skin.find("PK\x05\x06"), std::string::npos);
  const std::string icon = Resource(product, L"CUSTOM", 134);
  ASSERT_GE(icon.size(), 6u);
  EXPECT_EQ(icon.substr(0, 4), std::string("\0\0\1\0", 4));
  const std::string library = Resource(product, L"CUSTOM", 135);
  EXPECT_EQ(library.substr(0, 2), "MZ");
  EXPECT_EQ(Md5Hex(library.data(), library.size()), WideToUtf8(ReportLibraryMd5));
  const std::string manifest = Resource(product, MAKEINTRESOURCEW(24), 1);
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"),
            std::string::npos);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  FreeLibrary(product);
  EXPECT_GT(GetFileVersion(ProductExe()), 0u);
}
