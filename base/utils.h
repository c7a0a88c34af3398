// System utilities: small wrappers over Windows services and conversions,
// used across the program. Every function reports failure through its result
// and never throws for an operating-system failure. Only GetFileHexMd5 logs
// (tag "utils"); the others leave the log to their callers. Any thread unless
// a function says otherwise.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Md5.h"          // Md5Hex
#include "base/TextConvert.h"  // WideToUtf8, Utf8ToWide, WideToAnsi, AnsiToWide, ContainsDoubleByteChars

// ---- Drives ----

// What ChooseInstallDrive needs to know about one drive.
struct DriveFacts {
  wchar_t letter = L'A';  // upper case
  UINT type = DRIVE_UNKNOWN;  // GetDriveTypeW
  bool usb = false;
  bool writable = false;
  bool freeSpaceKnown = false;  // GetDiskFreeSpaceExW succeeded
  std::uint64_t freeBytes = 0;  // available to the caller
};

// The root ("X:\") of the fixed, non-USB, writable drive with the most free
// space; on a tie the later letter wins. A and B never count. "A:\" when no
// drive qualifies.
std::wstring ChooseInstallDriveFrom(std::span<const DriveFacts> drives);

// ChooseInstallDriveFrom over the drives of this machine, C to Z. Probes
// (USB, writable, free space) are made only for fixed drives.
std::wstring ChooseInstallDrive();

// True when the volume of the letter sits on a USB bus; false when that
// cannot be found out.
bool IsUsbDrive(wchar_t letter);

// True when a probe file in the drive's root can be written and read back.
bool IsDriveWritable(wchar_t letter);

// The probe of IsDriveWritable in any folder (folder ends in "\"): writes the
// tick count to folder + "test.tmp", reads it back, and removes the file.
// An existing file of that name is never touched; the probe then takes a
// name of its own. No probe file is left behind.
bool IsFolderWritable(const std::wstring& folder);

// ---- Folders and resources ----

// Folder of the running executable, without a trailing backslash.
std::wstring GetModuleDirectory();

// The folder path without its last "\" and what follows ("C:\x\y.exe" -> "C:\x").
std::wstring DirectoryOfPath(std::wstring_view path);

// The user's local application data folder (created if missing), without a
// trailing backslash; empty when the shell cannot give it.
std::wstring GetLocalAppDataFolder();

// Writes the resource of type "CUSTOM" with the id from module to path,
// replacing an existing file. False when the module is null, the path empty,
// the resource missing or empty, or the file cannot be created or written.
bool ExtractResourceToFile(HMODULE module, int id, const std::wstring& path);

// ---- Programs and shortcuts ----

// Shell-executes file with the verb "open" and the parameters (SW_HIDE when
// hidden, else SW_SHOW). With exitCode given, waits without a time limit for
// the process and stores its exit code; otherwise returns at once. False only
// when the launch fails, and then exitCode is left untouched.
bool RunProgram(const std::wstring& file, const std::wstring& parameters, bool hidden, DWORD* exitCode = nullptr);

// Writes a shell link at shortcutPath to target with the description; the
// arguments and the icon (index 0) only when given. No working folder.
// Returns the result of the save, or the failing COM call's. The calling
// thread must have initialised COM.
HRESULT CreateShellLink(const std::wstring& target, const std::wstring& shortcutPath,
                        const std::optional<std::wstring>& arguments, const std::wstring& description,
                        const std::optional<std::wstring>& iconPath);

// CreateShellLink at desktop + "\" + name, replacing a file of that name.
// S_FALSE (1) without doing anything when the desktop folder is unknown.
HRESULT CreateDesktopShortcut(const std::wstring& target, const std::wstring& name,
                              const std::optional<std::wstring>& arguments, const std::wstring& description,
                              const std::optional<std::wstring>& iconPath);

// ---- Versions ----

// "a.b.c.d" -> (a << 48) + (b << 32) + (c << 16) + d. Characters other than
// digits and "." are ignored; a field above 65535 spills into the one above;
// fields after the fourth are added unshifted. Valid (true) only for a
// non-empty text with at least three ".". value is set either way.
bool ParseVersion(std::wstring_view text, std::uint64_t& value);

// The fixed file version of the file's version resource (most significant
// half on top), 0 when the file has none or cannot be read.
std::uint64_t GetFileVersion(const std::wstring& path);

// False when text is not a valid version; otherwise GetFileVersion(path) >= it.
bool IsFileVersionAtLeast(const std::wstring& path, std::wstring_view text);

// ---- Files and folders ----

// MD5 of the file's bytes as 32 lower-case hexadecimal digits; empty text
// when the file cannot be opened, sized or fully read (each logged once).
// Reads 64 KiB pieces, so memory use does not grow with the file.
std::wstring GetFileHexMd5(const std::wstring& path);

// The hashing loop of GetFileHexMd5 over any source: asks read for pieces of
// at most 64 KiB until size bytes came. ok is false, with empty digest text,
// when a read fails (error: its GetLastError) or yields no bytes before size
// is reached (the source shrank; error: ERROR_HANDLE_EOF). Does not log.
using PieceReader = std::function<bool(unsigned char* buffer, DWORD wanted, DWORD& read)>;
struct PieceDigest {
  bool ok = false;
  DWORD error = 0;
  std::wstring digest;
};
PieceDigest HashPieces(std::uint64_t size, const PieceReader& read);

// Deletes everything below folder, then folder itself. Files that cannot be
// deleted (or, with scheduleAtRestart, scheduled for deletion at the next
// restart) are appended to failures and make the result false. Links
// (junctions, symbolic links) are removed themselves and never followed.
bool DeleteDirectoryTree(const std::wstring& folder, std::vector<std::wstring>& failures, bool scheduleAtRestart);

// How DeleteDirectoryTree treats one entry of a listing.
enum class DirectoryEntryAction { kSkip, kDescend, kRemoveLink, kDeleteFile };
DirectoryEntryAction ClassifyDirectoryEntry(std::wstring_view name, DWORD attributes);

// Repairs a volatile product key "Software\Quenlo\Lumora" under
// HKEY_LOCAL_MACHINE (below which no lasting key can be made, error 1021):
// deletes it, or its volatile parent "Software\Quenlo", with all subkeys.
void RemoveVolatileProductKey();
