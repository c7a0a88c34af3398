#include "report/MachineIdRules.h"

#include <algorithm>

#include "base/Md5.h"

namespace OrvoMacID {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendHexByte(std::string& out, std::uint8_t value) {
  out += kHexDigits[value >> 4];
  out += kHexDigits[value & 0xF];
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsPrintable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }
bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsAlnum(unsigned char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && IsSpace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

std::string IdentifyText(std::span<const std::uint8_t, 512> identify, int firstWord, int lastWord) {
  std::string text;
  for (int word = firstWord; word <= lastWord; ++word) {
    text += static_cast<char>(identify[2 * word + 1]);
    text += static_cast<char>(identify[2 * word]);
  }
  text.resize(std::min(text.size(), text.find('\0')));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string HashText(const std::string& text) { return Md5Hex(text.data(), text.size()); }

// GetPrivateProfileIntA: optional sign and decimal digits after white space.
int LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
  return static_cast<int>(negative ? 0u - value : value);
}

}  // namespace

std::string MachineIdText(const MachineIdBytes& id) {
  std::string text;
  for (std::uint8_t b : id) AppendHexByte(text, b);
  return text;
}

std::string AdapterText(const MacAddress& mac) {
  std::string text;
  for (std::uint8_t b : mac) AppendHexByte(text, b);
  return text;
}

DiskDescription DecodeIdentifyData(std::span<const std::uint8_t, 512> identify) {
  return DiskDescription{IdentifyText(identify, 10, 19), IdentifyText(identify, 27, 46), IdentifyText(identify, 23, 26)};
}

std::string CleanDescriptorString(std::span<const std::uint8_t> descriptor, std::uint32_t offset, bool swapPairs) {
  if (offset == 0 || offset >= descriptor.size()) return {};
  // The text runs to its zero byte or to the end of what the device returned.
  std::string_view text(reinterpret_cast<const char*>(descriptor.data()) + offset, descriptor.size() - offset);
  text = text.substr(0, std::min(text.size(), text.find('\0')));
  const bool terminated = offset + text.size() < descriptor.size();

  std::string result;
  bool decoded = true;
  bool ended = false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    if (i + 1 >= text.size()) {
      decoded = false;  // half a pair: this is not hex text
      break;
    }
    const int high = text[i] == ' ' ? 0 : HexValue(text[i]);
    const int low = text[i + 1] == ' ' ? 0 : HexValue(text[i + 1]);
    if (high < 0 || low < 0) {
      decoded = false;
      break;
    }
    const auto byte = static_cast<unsigned char>(high * 16 + low);
    if (byte == 0) {
      ended = true;
    } else if (!IsPrintable(byte)) {
      decoded = false;
      break;
    } else if (!ended) {
      result += static_cast<char>(byte);
    }
  }
  if (!decoded) {
    result.clear();
    std::size_t i = 0;
    while (i < text.size() && IsPrintable(static_cast<unsigned char>(text[i]))) ++i;
    // Text that breaks off at an unprintable byte is not a string at all.
    if (i == text.size() && terminated) result.assign(text.substr(0, i));
  }
  if (swapPairs) {
    for (std::size_t i = 0; i + 1 < result.size(); i += 2) std::swap(result[i], result[i + 1]);
  }
  return std::string(Trim(result));
}

bool IsUsableDescriptorSerial(std::string_view serial) {
  return (!serial.empty() && IsAlnum(static_cast<unsigned char>(serial[0]))) ||
         (serial.size() > 19 && IsAlnum(static_cast<unsigned char>(serial[19])));
}

int AdapterClass(bool connectionRead, std::uint32_t mediaSubType, std::string_view pnpInstanceId) {
  if (!connectionRead) return 3;
  if (mediaSubType == 1) return pnpInstanceId.substr(0, 3) == "PCI" ? 0 : 2;
  if (mediaSubType == 2) return 1;
  return 3;
}

std::optional<MacAddress> ChooseAdapterAddress(std::span<const AdapterFacts> adapters) {
  std::optional<MacAddress> chosen;
  int best = 3;
  for (const AdapterFacts& adapter : adapters) {
    if (!chosen) {
      chosen = adapter.address;
      best = adapter.adapterClass;
    } else if ((adapter.type == 6 || adapter.type == 23) && adapter.adapterClass < best) {
      chosen = adapter.address;
      best = adapter.adapterClass;
    }
  }
  if (chosen && *chosen == MacAddress{}) return std::nullopt;
  return chosen;
}

std::string BrandFromCpuidRegisters(const std::array<std::uint32_t, 12>& registers) {
  char buffer[49] = {};
  for (std::size_t i = 0; i < registers.size(); ++i) {
    for (int b = 0; b < 4; ++b) buffer[i * 4 + b] = static_cast<char>((registers[i] >> (8 * b)) & 0xFF);
  }
  return std::string(buffer);
}

MachineHashes HashMachineFacts(const MachineFacts& facts) {
  MachineHashes hashes;
  hashes.adapterText = AdapterText(facts.mac);
  hashes.adapter = HashText(hashes.adapterText);
  if (facts.disk) {
    hashes.diskText = facts.disk->serial + facts.disk->model + facts.disk->firmware;
    hashes.disk = HashText(hashes.diskText);
    ++hashes.foundCount;
  }
  if (!facts.processorBrand.empty()) {
    hashes.processorText = facts.processorBrand;
    hashes.processor = HashText(hashes.processorText);
    ++hashes.foundCount;
  }
  return hashes;
}

StoredProfile ParseProfile(std::string_view bytes) {
  StoredProfile profile;
  bool inProfile = false;
  bool seen[5] = {};
  while (!bytes.empty()) {
    const std::size_t end = std::min(bytes.size(), bytes.find_first_of("\r\n"));
    std::string_view line = Trim(bytes.substr(0, end));
    bytes.remove_prefix(std::min(bytes.size(), end + 1));
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      inProfile = close != std::string_view::npos && EqualsIgnoringCase(Trim(line.substr(1, close - 1)), "Profile");
      continue;
    }
    if (!inProfile) continue;
    const std::size_t equals = line.find('=');
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = equals == std::string_view::npos ? std::string_view() : Trim(line.substr(equals + 1));
    std::string* const strings[4] = {&profile.config1, &profile.config2, &profile.config3, &profile.config4};
    for (int k = 0; k < 5; ++k) {
      if (seen[k] || !EqualsIgnoringCase(key, "config" + std::to_string(k + 1))) continue;
      seen[k] = true;  // the first entry of a key is the one read
      if (k < 4) {
        strings[k]->assign(value.substr(0, 32));
      } else {
        profile.config5 = LeadingNumber(value);
      }
    }
  }
  return profile;
}

std::string FormatProfile(const MachineIdBytes& id, const MachineHashes& hashes) {
  return "[Profile]\r\nconfig1=" + MachineIdText(id) + "\r\nconfig2=" + hashes.adapter + "\r\nconfig3=" + hashes.disk +
         "\r\nconfig4=" + hashes.processor + "\r\nconfig5=1\r\n";
}

ProfileDecision CompareProfile(const StoredProfile& stored, const MachineHashes& hashes) {
  ProfileDecision decision;
  const bool matched = EqualsIgnoringCase(stored.config4, hashes.processor) &&
                       (EqualsIgnoringCase(stored.config2, hashes.adapter) || EqualsIgnoringCase(stored.config3, hashes.disk));
  if (stored.config1.size() != 32) return decision;
  if (matched) {
    for (std::size_t i = 0; i < 16; ++i) {
      const int high = HexValue(stored.config1[2 * i]);
      const int low = HexValue(stored.config1[2 * i + 1]);
      // A damaged identifier is computed anew rather than read as garbage.
      if (high < 0 || low < 0) return decision;
      decision.id[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
  }
  const int storedCount =
      !stored.config2.empty() + !stored.config3.empty() + !stored.config4.empty();
  decision.reuse = matched && hashes.foundCount <= storedCount;
  decision.withProcessor = !decision.reuse;
  const bool oldProfile = stored.config5 == 0;
  if (oldProfile && !hashes.processor.empty() && !(!stored.config2.empty() && !stored.config3.empty()) &&
      hashes.foundCount != 3 && hashes.foundCount >= storedCount) {
    decision.reuse = false;
    decision.withProcessor = true;
  }
  if (!decision.reuse) decision.id = {};
  return decision;
}

MachineIdBytes ComputeIdentifier(const MachineHashes& hashes, bool withProcessor) {
  Md5 md5;
  md5.Update(hashes.adapterText.data(), hashes.adapterText.size());
  md5.Update(hashes.diskText.data(), hashes.diskText.size());
  if (withProcessor) md5.Update(hashes.processorText.data(), hashes.processorText.size());
  return md5.Finish();
}

}  // namespace OrvoMacID
