#include "report/ReportEncoding.h"

namespace OrvoReportMgr {

void BlockWriter::Put(std::uint64_t value, int size) {
  if (!Fits(static_cast<std::size_t>(size))) return;
  for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
}

void BlockWriter::U16(std::uint16_t value) { Put(value, 2); }
void BlockWriter::U32(std::uint32_t value) { Put(value, 4); }
void BlockWriter::U64(std::uint64_t value) { Put(value, 8); }

void BlockWriter::String(std::string_view text) {
  // The length field counts the zero; a text longer than it can say is dropped.
  if (text.size() + 1 > 0xFFFF || !Fits(2 + text.size() + 1)) return;
  Put(text.size() + 1, 2);
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  bytes_.push_back(0);
}

std::vector<std::uint8_t> EncodeEnvironment(const ReportEnvironment& e) {
  BlockWriter w;
  w.String(e.guid);
  w.U64(e.clientVersion);
  w.U32(e.supplyId);
  w.U64(e.reservedValue);
  w.U16(e.osMajor);
  w.U16(e.osMinor);
  w.U16(e.osBuild);
  w.U16(e.osBuildFlags);
  w.U16(e.processorArchitecture);
  w.U16(e.systemLanguage);
  w.U64(e.browserVersion);
  w.U64(e.reserved1);
  w.U64(e.reserved2);
  w.String(e.reservedText);
  return w.bytes();
}

std::vector<std::uint8_t> EncodeEvent(const ReportEvent& e) {
  BlockWriter w;
  for (std::int32_t value : {e.type, e.result, e.error, e.error_ex, e.step, e.result_ex}) {
    w.U32(static_cast<std::uint32_t>(value));
  }
  w.String(e.result_info);
  w.String(e.error_info);
  for (std::int64_t value : e.ireserve) w.U64(static_cast<std::uint64_t>(value));
  for (const std::string& text : e.strreserve) w.String(text);
  return w.bytes();
}

namespace {

// One "%u": white space, an optional sign, at least one digit (modulo 2^32).
bool ReadUnsigned(std::string_view text, std::size_t& at, std::uint32_t& value) {
  while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  const std::size_t digits = at;
  value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) value = value * 10 + static_cast<std::uint32_t>(text[at] - '0');
  if (at == digits) return false;
  if (negative) value = 0u - value;
  return true;
}

}  // namespace

std::uint64_t PackBrowserVersion(std::string_view text) {
  std::uint64_t packed = 0;
  std::size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return 0;
      ++at;
    }
    std::uint32_t value = 0;
    if (!ReadUnsigned(text, at, value)) return 0;
    packed = (packed << 16) | (value & 0xFFFF);
  }
  return packed;
}

void SetOsVersion(ReportEnvironment& environment, std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
  environment.osMajor = static_cast<std::uint16_t>(major);
  environment.osMinor = static_cast<std::uint16_t>(minor);
  environment.osBuild = static_cast<std::uint16_t>(build);
  environment.osBuildFlags = static_cast<std::uint16_t>(build >> 16);
}

}  // namespace OrvoReportMgr

ReportEvent ReportEventFromJson(const nlohmann::json& event) {
  ReportEvent record;
  auto read32 = [&event](const char* key, std::int32_t& field) {
    if (auto it = event.find(key); it != event.end()) field = it->get<std::int32_t>();
  };
  auto readText = [&event](const std::string& key, std::string& field) {
    if (auto it = event.find(key); it != event.end()) field = it->get<std::string>();
  };
  read32("type", record.type);
  read32("result", record.result);
  read32("error", record.error);
  read32("error_ex", record.error_ex);
  read32("step", record.step);
  read32("result_ex", record.result_ex);
  readText("result_info", record.result_info);
  readText("error_info", record.error_info);
  for (int i = 0; i < 10; ++i) {
    if (auto it = event.find("ireserve" + std::to_string(i)); it != event.end()) record.ireserve[i] = it->get<std::int64_t>();
    readText("strreserve" + std::to_string(i), record.strreserve[i]);
  }
  return record;
}
