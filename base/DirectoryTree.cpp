#include "base/Handles.h"
#include "base/utils.h"

DirectoryEntryAction ClassifyDirectoryEntry(std::wstring_view name, DWORD attributes) {
  if (name == L"." || name == L"..") return DirectoryEntryAction::kSkip;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return DirectoryEntryAction::kDeleteFile;
  // A junction or directory symbolic link points elsewhere, possibly outside
  // the tree: remove the link, never what it points to.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return DirectoryEntryAction::kRemoveLink;
  return DirectoryEntryAction::kDescend;
}

bool DeleteDirectoryTree(const std::wstring& folder, std::vector<std::wstring>& failures, bool scheduleAtRestart) {
  std::wstring base = folder;
  if (base.empty() || base.back() != L'\\') base += L'\\';
  WIN32_FIND_DATAW entry;
  UniqueFind find(FindFirstFileW((base + L"*").c_str(), &entry));
  if (!find) return false;
  bool result = true;
  do {
    const std::wstring path = base + entry.cFileName;
    switch (ClassifyDirectoryEntry(entry.cFileName, entry.dwFileAttributes)) {
      case DirectoryEntryAction::kSkip:
        break;
      case DirectoryEntryAction::kDescend:
        if (!DeleteDirectoryTree(path, failures, scheduleAtRestart)) result = false;
        RemoveDirectoryW(path.c_str());
        break;
      case DirectoryEntryAction::kRemoveLink:
        // Nothing below would report a link that stays, so it counts itself.
        if (!RemoveDirectoryW(path.c_str())) {
          failures.push_back(path);
          result = false;
        }
        break;
      case DirectoryEntryAction::kDeleteFile: {
        const BOOL done = scheduleAtRestart ? MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)
                                            : DeleteFileW(path.c_str());
        if (!done) {
          failures.push_back(path);
          result = false;
        }
        break;
      }
    }
  } while (FindNextFileW(find.get(), &entry));
  find.reset();
  RemoveDirectoryW(folder.c_str());
  return result;
}
