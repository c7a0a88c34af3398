// One component of the manifest and the rules that read it from an <Item>
// element. Portable code (no Windows headers): the manifest is untrusted
// input from the network.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

class XmlNode;

struct ComponentItem {
  std::int32_t id = -1;
  std::wstring name;           // file name of the download
  std::wstring localaddpath;   // sub-path under the download and the install folder
  bool installInX86 = true;
  bool installInX64 = true;
  std::wstring writePathToRegKey;  // key under HKEY_LOCAL_MACHINE recording the install folder
  std::uint64_t DL_ID = 0;
  std::wstring hash;  // MD5 of the file, 32 hexadecimal digits, either case
  std::uint64_t filesize = 0;
  std::wstring url;
  std::wstring version;
  std::uint64_t versionNumber = 0;
  std::wstring downloadDir;  // set when the component is downloaded
  std::wstring localFile;    // set when the component is downloaded

  bool operator==(const ComponentItem&) const = default;
};

// Component records by id; the first record of an id wins.
using ComponentMap = std::map<std::int32_t, ComponentItem>;

// Reads a decimal number as wcstoull with base 10 does: leading white space,
// one optional sign (a minus negates modulo 2^64), digits up to the first
// non-digit. Throws std::invalid_argument("invalid stoull argument") when
// there is no digit and std::out_of_range("stoull argument out of range")
// when the value needs more than 64 bits.
std::uint64_t ReadDecimalNumber(std::wstring_view text);

// "a.b.c.d" -> a * 2^48 + b * 2^32 + c * 2^16 + d, skipping characters other
// than digits and dots; 0 for a version with fewer than three dots.
std::uint64_t PackVersionNumber(std::wstring_view version);

// Reads the attributes of an <Item> element in the order version, id, name,
// localaddpath, installInX86, installInX64, writePathToRegKey, DL_ID, hash,
// filesize, url; so the first number error thrown is that of id, then DL_ID,
// then filesize. Returns the map key (the id) with the record.
std::pair<std::int32_t, ComponentItem> ParseComponentItem(const XmlNode& node);

// The downloaded file is written to tempPath + localaddpath + name and run
// with administrator rights, and localaddpath is also joined to the install
// folder. An attribute that could lead such a path out of those folders is
// reported as (attribute name, value): a name that is not a plain file name
// (empty is allowed; "\", "/", ":", "." and ".." are not), or a localaddpath
// that starts with a separator, carries a drive or stream colon, or has a
// ".." segment. Sub-folders such as "UI" or "a\b" are fine.
std::optional<std::pair<std::wstring, std::wstring>> FindUnsafeItemPath(const ComponentItem& item);

// Element names of the manifest are compared without regard to ASCII case.
bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b);
