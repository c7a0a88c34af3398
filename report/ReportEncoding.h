// What the report library manager hands to a library client: the fixed
// header, and the environment and event records in their big-endian binary
// form. Pure functions over plain data.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/ReportEvent.h"

namespace OrvoReportMgr {

#pragma pack(push, 2)
// Passed to the client's first slot as is (host byte order).
struct ReportHeader {
  std::uint16_t magic = 0xD85C;
  std::uint16_t reserved0 = 0;
  std::uint16_t version = 1;
  std::uint16_t application = 6949;
  std::uint32_t reserved1 = 0;
  std::uint32_t reserved2 = 0;
  std::uint16_t reserved3 = 0;
};
#pragma pack(pop)
static_assert(sizeof(ReportHeader) == 18);

// A description of the machine, built once at the first report.
struct ReportEnvironment {
  std::string guid;
  std::uint64_t clientVersion = 0;
  std::uint32_t supplyId = 0;
  std::uint64_t reservedValue = 0;
  std::uint16_t osMajor = 0;
  std::uint16_t osMinor = 0;
  std::uint16_t osBuild = 0;
  std::uint16_t osBuildFlags = 0;
  std::uint16_t processorArchitecture = 0;
  std::uint16_t systemLanguage = 0;
  std::uint64_t browserVersion = 0;
  std::uint64_t reserved1 = 0;
  std::uint64_t reserved2 = 0;
  std::string reservedText;
};

// Room of one block.
inline constexpr std::size_t kBlockCapacity = 65536;

// Builds one block: integers most significant byte first, strings as a 16-bit
// length (bytes + 1) followed by the bytes and a zero. A value that does not
// fit in the room left is skipped; later smaller values may still fit.
class BlockWriter {
 public:
  explicit BlockWriter(std::size_t capacity = kBlockCapacity) : capacity_(capacity) {}
  void U16(std::uint16_t value);
  void U32(std::uint32_t value);
  void U64(std::uint64_t value);
  void String(std::string_view text);
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  bool Fits(std::size_t size) const { return size <= capacity_ - bytes_.size(); }
  void Put(std::uint64_t value, int size);

  std::size_t capacity_;
  std::vector<std::uint8_t> bytes_;
};

// The head block.
std::vector<std::uint8_t> EncodeEnvironment(const ReportEnvironment& environment);
// The body block.
std::vector<std::uint8_t> EncodeEvent(const ReportEvent& event);

// "a.b.c.d" (each read as "%u") -> a<<48 | b<<32 | c<<16 | d, each part cut to
// 16 bits; 0 unless the text starts with exactly four such numbers.
std::uint64_t PackBrowserVersion(std::string_view text);

// The environment's os fields from RtlGetNtVersionNumbers' three numbers.
void SetOsVersion(ReportEnvironment& environment, std::uint32_t major, std::uint32_t minor, std::uint32_t build);

}  // namespace OrvoReportMgr
