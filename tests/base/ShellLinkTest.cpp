#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/Handles.h"
#include "base/utils.h"
#include "tests/support/TestSupport.h"

using testing_support::ScratchDir;

namespace {

struct ComScope {
  ComScope() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~ComScope() { CoUninitialize(); }
};

struct LinkContents {
  HRESULT loaded = E_FAIL;
  std::wstring target, arguments, description, iconPath, workingDirectory;
  int iconIndex = -1;
};

LinkContents ReadLink(const std::wstring& path) {
  LinkContents contents;
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
    return contents;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void()))) return contents;
  contents.loaded = file->Load(path.c_str(), STGM_READ);
  if (FAILED(contents.loaded)) return contents;
  wchar_t text[1024] = {};
  link->GetPath(text, 1024, nullptr, SLGP_RAWPATH);
  contents.target = text;
  text[0] = L'\0';
  link->GetArguments(text, 1024);
  contents.arguments = text;
  text[0] = L'\0';
  link->GetDescription(text, 1024);
  contents.description = text;
  text[0] = L'\0';
  link->GetIconLocation(text, 1024, &contents.iconIndex);
  contents.iconPath = text;
  text[0] = L'\0';
  link->GetWorkingDirectory(text, 1024);
  contents.workingDirectory = text;
  return contents;
}

std::wstring DesktopFolder() {
  wchar_t desktop[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOP, TRUE);
  return desktop;
}

}  // namespace

TEST(ShellLinkTest, WritesTargetArgumentsDescriptionAndIcon) {
  ComScope com;
  ScratchDir dir;
  const std::wstring target = dir / L"Portalis.exe";
  const std::wstring icon = dir / L"game.ico";
  ASSERT_TRUE(testing_support::WriteFileBytes(target, "MZ"));
  ASSERT_TRUE(testing_support::WriteFileBytes(icon, "ico"));
  const std::wstring shortcut = dir / L"Game.lnk";
  ASSERT_EQ(CreateShellLink(target, shortcut, std::wstring(L"-pkg com.example.game"), L"A game", icon), S_OK);
  const LinkContents read = ReadLink(shortcut);
  ASSERT_EQ(read.loaded, S_OK);
  EXPECT_EQ(read.target, target);
  EXPECT_EQ(read.arguments, L"-pkg com.example.game");
  EXPECT_EQ(read.description, L"A game");
  EXPECT_EQ(read.iconPath, icon);
  EXPECT_EQ(read.iconIndex, 0);
  EXPECT_EQ(read.workingDirectory, L"");
}

TEST(ShellLinkTest, NoArgumentsAndNoIconLeaveThemUnset) {
  ComScope com;
  ScratchDir dir;
  const std::wstring target = dir / L"Portalis.exe";
  ASSERT_TRUE(testing_support::WriteFileBytes(target, "MZ"));
  const std::wstring shortcut = dir / L"Tovane.lnk";
  ASSERT_EQ(CreateShellLink(target, shortcut, std::nullopt, L"Tovane", std::nullopt), S_OK);
  const LinkContents read = ReadLink(shortcut);
  ASSERT_EQ(read.loaded, S_OK);
  EXPECT_EQ(read.arguments, L"");
  EXPECT_EQ(read.iconPath, L"");
}

TEST(ShellLinkTest, FailsWithoutComAndWritesNothing) {
  ScratchDir dir;
  const std::wstring shortcut = dir / L"x.lnk";
  EXPECT_TRUE(FAILED(CreateShellLink(L"C:\\x.exe", shortcut, std::nullopt, L"x", std::nullopt)));
  EXPECT_FALSE(testing_support::FileExists(shortcut));
}

// The desktop is redirected into a scratch folder through the (overridden)
// per-user shell folder value, so the test never touches the real desktop.
TEST(ShellLinkTest, DesktopShortcutWithTheSameNameIsReplaced) {
  ComScope com;
  testing_support::RegistryOverride registry;
  ScratchDir dir;
  const std::wstring desktop = dir / L"Desktop";
  ASSERT_TRUE(CreateDirectoryW(desktop.c_str(), nullptr));
  for (const wchar_t* key : {L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                             L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"}) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Desktop", REG_SZ, desktop.c_str(),
                              static_cast<DWORD>((desktop.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  ASSERT_EQ(DesktopFolder(), desktop);

  const std::wstring first = dir / L"First.exe";
  const std::wstring second = dir / L"Second.exe";
  ASSERT_TRUE(testing_support::WriteFileBytes(first, "MZ"));
  ASSERT_TRUE(testing_support::WriteFileBytes(second, "MZ"));
  const std::wstring path = desktop + L"\\Game.lnk";

  ASSERT_EQ(CreateDesktopShortcut(first, L"Game.lnk", std::wstring(L"-one"), L"first", std::nullopt), S_OK);
  EXPECT_EQ(ReadLink(path).target, first);
  ASSERT_EQ(CreateDesktopShortcut(second, L"Game.lnk", std::nullopt, L"second", std::wstring(L"")), S_OK);
  const LinkContents read = ReadLink(path);
  EXPECT_EQ(read.target, second);
  EXPECT_EQ(read.arguments, L"");
  EXPECT_EQ(read.description, L"second");

  int entries = 0;
  WIN32_FIND_DATAW entry;
  UniqueFind find(FindFirstFileW((desktop + L"\\*").c_str(), &entry));
  ASSERT_TRUE(find);
  do entries += entry.cFileName[0] != L'.';
  while (FindNextFileW(find.get(), &entry));
  EXPECT_EQ(entries, 1);
}
