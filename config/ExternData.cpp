#include "config/ExternData.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/Md5.h"

namespace {

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string WithErrorCode(const char* text, std::uint32_t error) {
  return std::string(text) + " error code: " + std::to_string(error);
}

// MD5 of the bytes [0, count) of the source, read in pieces; empty on a read failure.
std::string DigestOfPrefix(ExternDataSource& source, std::uint64_t count) {
  Md5 md5;
  std::vector<std::uint8_t> piece(64 * 1024);
  for (std::uint64_t offset = 0; offset < count;) {
    const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(piece.size(), count - offset));
    std::uint32_t read = 0, error = 0;
    if (!source.Read(offset, want, piece.data(), read, error) || read == 0) return {};
    md5.Update(piece.data(), read);
    offset += read;
  }
  return Md5DigestToHex(md5.Finish());
}

}  // namespace

ExternDataHeader ParseExternDataHeader(const std::uint8_t* bytes) {
  ExternDataHeader header;
  header.magic = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
  header.length = static_cast<std::uint32_t>(bytes[2]) | (static_cast<std::uint32_t>(bytes[3]) << 8) |
                  (static_cast<std::uint32_t>(bytes[4]) << 16) | (static_cast<std::uint32_t>(bytes[5]) << 24);
  // The digest text ends at its terminator (offset 38) or at the first zero.
  const char* digest = reinterpret_cast<const char*>(bytes + 6);
  header.digest.assign(digest, strnlen(digest, 33));
  return header;
}

ExternDataWalk WalkExternData(ExternDataSource& source, std::uint64_t fileSize) {
  ExternDataWalk walk;
  auto log = [&walk](int level, std::string text) { walk.log.push_back({level, std::move(text)}); };
  std::uint64_t end = fileSize;
  for (;;) {
    std::uint8_t headerBytes[kExternDataHeaderSize] = {};
    // A header position before the start of the file reads as zeros.
    if (end >= kExternDataHeaderSize) {
      std::uint32_t read = 0, error = 0;
      if (!source.Read(end - kExternDataHeaderSize, kExternDataHeaderSize, headerBytes, read, error)) {
        log(3, WithErrorCode("read extern data header failed.", error));
        break;
      }
    }
    const ExternDataHeader header = ParseExternDataHeader(headerBytes);
    if (header.magic != kExternDataMagic || header.length == 0) {
      log(2, "check magic failed or length is zero");
      break;
    }
    const std::uint64_t headerStart = end - kExternDataHeaderSize;
    if (header.length > headerStart) {
      // The data would start before the file does. Only the bytes that exist
      // are hashed (never `length` bytes of memory for a corrupt header); the
      // digest cannot match, and nothing of this block is used.
      log(3, "extern data md5 is not equal to header md5. header md5: " + header.digest +
                 " data md5: " + DigestOfPrefix(source, headerStart));
      break;
    }
    end = headerStart - header.length;
    std::vector<std::uint8_t> data(header.length, 0);
    std::uint32_t read = 0, error = 0;
    if (!source.Read(end, header.length, data.data(), read, error)) {
      log(2, WithErrorCode("read extern data failed.", error));
      break;
    }
    const std::string digest = Md5Hex(data.data(), data.size());
    if (!EqualsIgnoringCase(digest, header.digest)) {
      log(3, "extern data md5 is not equal to header md5. header md5: " + header.digest + " data md5: " + digest);
      break;
    }
    const auto zero = std::find(data.begin(), data.end(), std::uint8_t{0});
    const std::string text(data.begin(), zero);
    try {
      walk.blocks.push_back(nlohmann::json::parse(text));
    } catch (const nlohmann::json::exception& e) {
      log(1, "parse the inject data: " + text + " failed. exception: " + JsonErrorMessage(e));
      break;
    }
    log(1, "find the inject data: " + text);
  }
  return walk;
}

std::string BuildExternDataBlock(const std::string& jsonText, std::size_t dataLength) {
  std::string data = jsonText;
  if (data.size() < dataLength) data.resize(dataLength, '\0');
  std::string digest = Md5Hex(data.data(), data.size());
  for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string header(kExternDataHeaderSize, '\0');
  const auto length = static_cast<std::uint32_t>(data.size());
  header[0] = static_cast<char>(kExternDataMagic & 0xFF);
  header[1] = static_cast<char>(kExternDataMagic >> 8);
  for (int i = 0; i < 4; ++i) header[2 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  header.replace(6, 32, digest);
  header[38] = '\0';
  header[39] = '\x01';
  return data + header;
}

std::string JsonErrorMessage(const std::exception& error) {
  std::string message = error.what();
  if (message.rfind("[json.exception.", 0) == 0) {
    const auto close = message.find("] ");
    if (close != std::string::npos) message.erase(0, close + 2);
  }
  return message;
}
