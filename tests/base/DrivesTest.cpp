#include <gtest/gtest.h>

#include <vector>

#include "base/utils.h"
#include "tests/support/TestSupport.h"

using testing_support::FileExists;
using testing_support::ScratchDir;

namespace {

DriveFacts Fixed(wchar_t letter, std::uint64_t freeBytes) {
  DriveFacts facts;
  facts.letter = letter;
  facts.type = DRIVE_FIXED;
  facts.writable = true;
  facts.freeSpaceKnown = true;
  facts.freeBytes = freeBytes;
  return facts;
}

template <typename Change>
DriveFacts With(DriveFacts facts, Change change) {
  change(facts);
  return facts;
}

constexpr std::uint64_t kGiB = 1ull << 30;

// Entries of a folder (ending in "\\") other than "." and "..".
int CountEntries(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return -1;
  int entries = 0;
  do {
    const std::wstring name = entry.cFileName;
    entries += name != L"." && name != L"..";
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return entries;
}

}  // namespace

TEST(DrivesTest, ChooseInstallDriveTable) {
  struct Case {
    const char* name;
    std::vector<DriveFacts> drives;
    const wchar_t* expected;
  };
  const Case kCases[] = {
      {"nothing", {}, L"A:\\"},
      {"one fixed drive", {Fixed(L'C', 10 * kGiB)}, L"C:\\"},
      {"most free space wins", {Fixed(L'C', 10 * kGiB), Fixed(L'D', 50 * kGiB), Fixed(L'E', 20 * kGiB)}, L"D:\\"},
      {"beyond 4 GiB is compared in 64 bits", {Fixed(L'C', 5 * kGiB), Fixed(L'D', kGiB + 1)}, L"C:\\"},
      {"tie goes to the later letter", {Fixed(L'C', 7 * kGiB), Fixed(L'F', 7 * kGiB)}, L"F:\\"},
      {"tie goes to the later letter in any order", {Fixed(L'F', 7 * kGiB), Fixed(L'C', 7 * kGiB)}, L"F:\\"},
      {"a drive with no free space still counts", {Fixed(L'C', 0)}, L"C:\\"},
      {"A and B are never considered", {Fixed(L'A', 90 * kGiB), Fixed(L'B', 90 * kGiB), Fixed(L'C', 1)}, L"C:\\"},
      {"USB disk never chosen",
       {Fixed(L'C', kGiB), With(Fixed(L'E', 900 * kGiB), [](DriveFacts& f) { f.usb = true; })},
       L"C:\\"},
      {"drive refusing the probe never chosen",
       {Fixed(L'C', kGiB), With(Fixed(L'D', 900 * kGiB), [](DriveFacts& f) { f.writable = false; })},
       L"C:\\"},
      {"unknown free space never chosen",
       {Fixed(L'C', kGiB), With(Fixed(L'D', 900 * kGiB), [](DriveFacts& f) { f.freeSpaceKnown = false; })},
       L"C:\\"},
      {"removable, remote, optical and RAM drives never chosen",
       {With(Fixed(L'D', kGiB), [](DriveFacts& f) { f.type = DRIVE_REMOVABLE; }),
        With(Fixed(L'E', kGiB), [](DriveFacts& f) { f.type = DRIVE_REMOTE; }),
        With(Fixed(L'F', kGiB), [](DriveFacts& f) { f.type = DRIVE_CDROM; }),
        With(Fixed(L'G', kGiB), [](DriveFacts& f) { f.type = DRIVE_RAMDISK; })},
       L"A:\\"},
      {"only unqualified drives", {With(Fixed(L'C', kGiB), [](DriveFacts& f) { f.usb = true; })}, L"A:\\"},
      {"Z is considered", {Fixed(L'C', kGiB), Fixed(L'Z', 2 * kGiB)}, L"Z:\\"},
  };
  for (const Case& c : kCases) EXPECT_EQ(ChooseInstallDriveFrom(c.drives), c.expected) << c.name;
}

TEST(DrivesTest, ChooseInstallDrivePicksAFixedDriveRoot) {
  const std::wstring root = ChooseInstallDrive();
  ASSERT_EQ(root.size(), 3u);
  EXPECT_EQ(root.substr(1), L":\\");
  EXPECT_GE(root[0], L'C');
  EXPECT_LE(root[0], L'Z');
  EXPECT_EQ(GetDriveTypeW(root.c_str()), static_cast<UINT>(DRIVE_FIXED));
}

TEST(DrivesTest, SystemDriveIsWritableAndNotUsb) {
  EXPECT_TRUE(IsDriveWritable(L'C'));
  EXPECT_FALSE(IsUsbDrive(L'C'));
  EXPECT_FALSE(IsDriveWritable(L'B'));  // no such drive
}

TEST(DrivesTest, WriteProbeLeavesNothingBehind) {
  ScratchDir dir;
  const std::wstring folder = dir.path() + L"\\";
  EXPECT_TRUE(IsFolderWritable(folder));
  EXPECT_FALSE(FileExists(folder + L"test.tmp"));

  // Fails: no such folder.
  EXPECT_FALSE(IsFolderWritable(folder + L"missing\\"));
  EXPECT_FALSE(FileExists(folder + L"missing"));

  EXPECT_EQ(CountEntries(folder), 0);
}

// A file (or folder) the user keeps under the probe's name must survive the
// probe, which then uses a name of its own and removes it again.
TEST(DrivesTest, WriteProbeNeverTouchesAnExistingFile) {
  ScratchDir dir;
  const std::wstring folder = dir.path() + L"\\";
  ASSERT_TRUE(testing_support::WriteFileBytes(folder + L"test.tmp", "the user's notes"));
  EXPECT_TRUE(IsFolderWritable(folder));
  EXPECT_EQ(testing_support::ReadFileBytes(folder + L"test.tmp"), "the user's notes");

  ScratchDir other;
  ASSERT_TRUE(CreateDirectoryW((other / L"test.tmp").c_str(), nullptr));
  EXPECT_TRUE(IsFolderWritable(other.path() + L"\\"));
  EXPECT_EQ(CountEntries(other.path() + L"\\"), 1);

  EXPECT_EQ(CountEntries(folder), 1);
}
