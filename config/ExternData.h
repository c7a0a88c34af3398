// The configuration blocks a publishing tool appends to the end of the
// executable. Each block is its data (UTF-8 JSON text up to the first zero
// byte, then zero padding) followed by a 40-byte header:
//
//   offset 0  2 bytes  magic 0x0EF4 (F4 0E)
//   offset 2  4 bytes  length of the data before the header (little-endian)
//   offset 6  32 bytes MD5 of the data as hexadecimal text (any case)
//   offset 38 1 byte   0x00, offset 39 1 byte 0x01 (not read)
//
// The walk starts with the header that ends the file and goes backwards.
// Portable code: no Windows headers, so it builds natively for fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

constexpr std::uint16_t kExternDataMagic = 0x0EF4;
constexpr std::size_t kExternDataHeaderSize = 40;

struct ExternDataHeader {
  std::uint16_t magic = 0;
  std::uint32_t length = 0;
  std::string digest;  // the hexadecimal text up to its terminator
};

// Decodes a 40-byte header.
ExternDataHeader ParseExternDataHeader(const std::uint8_t* bytes);

// Random access to the file the blocks are read from.
class ExternDataSource {
 public:
  virtual ~ExternDataSource() = default;
  // Reads up to size bytes at offset into buffer; read tells how many came
  // (fewer at the end of the file). False with a system error code on failure.
  virtual bool Read(std::uint64_t offset, std::uint32_t size, std::uint8_t* buffer, std::uint32_t& read,
                    std::uint32_t& error) = 0;
};

// One line the walk wants logged (levels as in the log: 1 Info, 2 Warn, 3 Error).
struct ExternDataLogEvent {
  int level;
  std::string text;  // UTF-8
};

struct ExternDataWalk {
  std::vector<nlohmann::json> blocks;  // the block that ends the file first
  std::vector<ExternDataLogEvent> log;
};

// Walks the blocks of a file of fileSize bytes, stopping at the first
// header, read, digest or JSON failure (logged). A length larger than the
// bytes before its header never allocates that much: the missing bytes count
// as zeros for the digest, which then cannot match.
ExternDataWalk WalkExternData(ExternDataSource& source, std::uint64_t fileSize);

// Builds one block (data followed by its header) as the publishing tool
// writes it: the text, zero padding up to dataLength bytes (at least the
// text's size), the upper-case digest. Used by tests and the tools.
std::string BuildExternDataBlock(const std::string& jsonText, std::size_t dataLength);

// The message of a JSON library error without its "[json.exception.x.n] " id.
std::string JsonErrorMessage(const std::exception& error);
