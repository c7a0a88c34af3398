// The small decisions of downloading and installing one component, as plain
// functions over plain data. Portable (no Windows headers).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// tempPath (ends in "\") + localaddpath + "\": the component's download
// folder. An empty localaddpath gives a doubled backslash, which Windows
// reads as one.
std::wstring ComponentDownloadDir(std::wstring_view tempPath, std::wstring_view localaddpath);

// installPath (ends in "\") + localaddpath: the install folder recorded as
// the component's "InstallPath" (no trailing backslash unless localaddpath
// is empty).
std::wstring ComponentInstallFolder(std::wstring_view installPath, std::wstring_view localaddpath);

// A file's digest text against the manifest's hash, ignoring case. An empty
// digest (the file could not be read) never matches, not even an empty hash:
// an unread file must never pass as verified.
bool DigestMatches(std::wstring_view digest, std::wstring_view hash);

// The component installer's arguments: "-nodesktopIcon" for Portalis (id 7)
// when no game package is to be opened and no product icon is wanted;
// otherwise none.
std::wstring InstallerArguments(std::int32_t id, std::string_view pkgName, bool createMarketIcon);

// A setup program succeeds with 0 or 1000; the component installer only
// with 0.
inline std::uint32_t SetupResultCode(std::uint32_t exitCode) { return exitCode == 1000 ? 0 : exitCode; }
inline bool InstallerSucceeded(std::uint32_t exitCode) { return exitCode == 0; }
