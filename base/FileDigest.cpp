#include "base/utils.h"

#include <memory>

#include "base/Handles.h"
#include "base/Log.h"

LOG_SOURCE("utils");

namespace {

constexpr DWORD kPieceSize = 65536;

}  // namespace

PieceDigest HashPieces(std::uint64_t size, const PieceReader& read) {
  PieceDigest result;
  const auto piece = std::make_unique<unsigned char[]>(kPieceSize);
  Md5 md5;
  for (std::uint64_t left = size; left > 0;) {
    const DWORD wanted = left < kPieceSize ? static_cast<DWORD>(left) : kPieceSize;
    DWORD got = 0;
    if (!read(piece.get(), wanted, got)) {
      result.error = GetLastError();
      return result;
    }
    if (got == 0 || got > wanted) {
      // The file shrank while we hashed it: what we have is not its digest,
      // and asking again would never end.
      result.error = ERROR_HANDLE_EOF;
      return result;
    }
    md5.Update(piece.get(), got);
    left -= got;
  }
  result.ok = true;
  result.digest = AnsiToWide(Md5DigestToHex(md5.Finish()));
  return result;
}

std::wstring GetFileHexMd5(const std::wstring& path) {
  UniqueFile file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    LOG_ERROR("utils") << "open " << path << " failed. error code: " << error;
    return {};
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) {
    const DWORD error = GetLastError();
    LOG_ERROR("utils") << "get " << path << " file size failed. error code: " << error;
    return {};
  }
  const PieceDigest digest =
      HashPieces(static_cast<std::uint64_t>(size.QuadPart), [&file](unsigned char* buffer, DWORD wanted, DWORD& got) {
        return ReadFile(file.get(), buffer, wanted, &got, nullptr) != FALSE;
      });
  if (!digest.ok) {
    LOG_ERROR("utils") << "read file buffer failed. error code: " << digest.error;
    return {};
  }
  return digest.digest;
}
