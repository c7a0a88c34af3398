// The decisions behind the machine identifier, over plain data: text forms
// of the hardware facts, the disk identify block and descriptor strings, the
// adapter choice, and the profile "GlobalMgr.db" (parse, compare, write).
// No Windows headers: the profile is untrusted bytes from the user's folder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace OrvoMacID {

using MacAddress = std::array<std::uint8_t, 6>;
using MachineIdBytes = std::array<std::uint8_t, 16>;

// Stands in when no adapter address can be found.
inline constexpr MacAddress kFallbackMac = {0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F};

// 32 lower-case hex digits, two per byte ("guid" of the reports).
std::string MachineIdText(const MachineIdBytes& id);
// 12 lower-case hex digits, no separators.
std::string AdapterText(const MacAddress& mac);

struct DiskDescription {
  std::string serial;
  std::string model;
  std::string firmware;
};

// Serial (words 10-19), firmware (23-26) and model (27-46) of a 512-byte ATA
// identify block; each word gives its high byte, then its low byte. A text
// ends at its first zero byte; trailing spaces are removed.
DiskDescription DecodeIdentifyData(std::span<const std::uint8_t, 512> identify);

// A string of a storage device descriptor at offset (0: none). The text is
// read as hex pairs (space = 0) while they decode to printable bytes (a
// decoded zero ends the result); otherwise its printable characters are taken
// as written, and nothing when an unprintable character comes before its end.
// swapPairs exchanges the characters of each pair; white space around the
// result is removed. Offsets outside the descriptor give an empty text.
std::string CleanDescriptorString(std::span<const std::uint8_t> descriptor, std::uint32_t offset, bool swapPairs);

// Storage descriptor method: the serial is usable when its first or
// twentieth character is a letter or a digit.
bool IsUsableDescriptorSerial(std::string_view serial);

// Class of an adapter from its "Connection" key: 0 wired PCI, 1 wireless,
// 2 other wired, 3 anything else or unreadable.
int AdapterClass(bool connectionRead, std::uint32_t mediaSubType, std::string_view pnpInstanceId);

struct AdapterFacts {
  std::uint32_t type = 0;  // MIB_IF_TYPE_*: 6 Ethernet, 23 PPP
  MacAddress address{};
  int adapterClass = 3;
};

// The first adapter's address unless a later Ethernet (6) or type-23 adapter
// has a better (lower) class; nothing when the choice is all zeros or there
// is no adapter.
std::optional<MacAddress> ChooseAdapterAddress(std::span<const AdapterFacts> adapters);

// The brand text laid out by CPUID 0x80000002..4 (EAX, EBX, ECX, EDX each),
// up to its first zero byte.
std::string BrandFromCpuidRegisters(const std::array<std::uint32_t, 12>& registers);

// What the identifier is computed from.
struct MachineFacts {
  MacAddress mac = kFallbackMac;
  std::optional<DiskDescription> disk;
  std::string processorBrand;  // empty: not found
};

struct MachineHashes {
  std::string adapterText;
  std::string diskText;  // empty when no disk was found
  std::string processorText;
  std::string adapter;  // MD5 hex of the text, or empty when not found
  std::string disk;
  std::string processor;
  int foundCount = 1;  // the adapter always counts
};
MachineHashes HashMachineFacts(const MachineFacts& facts);

// The values of section "Profile" as the profile functions read them: keys
// and section name without regard to case, values trimmed and cut to 32
// characters (the 33-byte buffers); config5 read as a leading decimal number.
struct StoredProfile {
  std::string config1, config2, config3, config4;
  int config5 = 0;
};
StoredProfile ParseProfile(std::string_view bytes);

// The six CR LF lines.
std::string FormatProfile(const MachineIdBytes& id, const MachineHashes& hashes);

struct ProfileDecision {
  bool reuse = false;
  MachineIdBytes id{};  // the stored identifier, when reused
  bool withProcessor = false;  // a new identifier includes the processor text
};

// Reuse when the processor hash and the adapter or disk hash match and no
// more inputs are found now than were stored. A config1 that isn't 32 hex
// digits is never reused, and then the processor is left out. A profile from
// before config5 that lacks the processor is migrated to one that includes it.
// Otherwise a mismatch yields an identifier that includes the processor text,
// so that a changed processor always changes the identifier.
ProfileDecision CompareProfile(const StoredProfile& stored, const MachineHashes& hashes);

// The identifier MD5(adapter text + disk text + processor text if asked).
MachineIdBytes ComputeIdentifier(const MachineHashes& hashes, bool withProcessor);

}  // namespace OrvoMacID
