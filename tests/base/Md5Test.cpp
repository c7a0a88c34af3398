#include "base/Md5.h"

#include <gtest/gtest.h>

#include <string>

#include "base/utils.h"
#include "tests/support/TestSupport.h"

using testing_support::ScratchDir;
using testing_support::WriteFileBytes;

namespace {

// Bytes of a known, uneven pattern so that misplaced blocks change the digest.
std::string Pattern(size_t length) {
  std::string bytes(length, '\0');
  unsigned x = 12345;
  for (char& c : bytes) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return bytes;
}

}  // namespace

TEST(Md5Test, Rfc1321Vectors) {
  struct Case {
    const char* text;
    const char* digest;
  } const kCases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : kCases) EXPECT_EQ(Md5Hex(c.text, std::string(c.text).size()), c.digest) << c.text;
}

TEST(Md5Test, EmbeddedZeroBytesCount) {
  EXPECT_EQ(Md5Hex("\0", 1), "93b885adfe0da089cdf634904fd59f71");
}

// Sizes around the 64-byte block, the 56-byte padding edge and the 64 KiB
// piece: the digest of one Update must equal that of feeding in odd slices.
TEST(Md5Test, PiecewiseFeedingMatchesOneShot) {
  const size_t kSizes[] = {55, 56, 57, 63, 64, 65, 119, 120, 128, 65535, 65536, 65537, 131072 + 3};
  for (size_t size : kSizes) {
    const std::string bytes = Pattern(size);
    const std::string whole = Md5Hex(bytes.data(), bytes.size());
    for (size_t slice : {1u, 7u, 64u, 1000u}) {
      Md5 md5;
      for (size_t at = 0; at < size; at += slice) md5.Update(bytes.data() + at, std::min(slice, size - at));
      EXPECT_EQ(Md5DigestToHex(md5.Finish()), whole) << "size " << size << " slice " << slice;
    }
  }
}

TEST(Md5Test, KnownDigestsAtBlockAndPieceSizes) {
  // Reference digests (md5sum) of runs of the letter 'a'.
  struct Case {
    size_t length;
    const char* digest;
  } const kCases[] = {
      {63, "b06521f39153d618550606be297466d5"},
      {64, "014842d480b571495a4a0363793f7367"},
      {65, "c743a45e0d2e6a95cb859adae0248435"},
      {65536, "2d61aa54b58c2e94403fb092c3dbc027"},
  };
  for (const Case& c : kCases) {
    const std::string bytes(c.length, 'a');
    EXPECT_EQ(Md5Hex(bytes.data(), bytes.size()), c.digest) << c.length;
  }
}

TEST(FileDigestTest, FilesOfEverySizeMatchTheMemoryDigest) {
  ScratchDir dir;
  const size_t kSizes[] = {0, 3, 63, 64, 65, 65535, 65536, 65537, 3 * 65536 + 17};
  for (size_t size : kSizes) {
    const std::string bytes = size == 3 ? std::string("abc") : Pattern(size);
    const std::wstring path = dir / (L"f" + std::to_wstring(size));
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    EXPECT_EQ(WideToUtf8(GetFileHexMd5(path)), Md5Hex(bytes.data(), bytes.size())) << size;
  }
  EXPECT_EQ(GetFileHexMd5(dir / L"f0"), L"d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(GetFileHexMd5(dir / L"f3"), L"900150983cd24fb0d6963f7d28e17f72");
}

TEST(FileDigestTest, ReadsInPiecesOfAtMost64KiB) {
  const std::string bytes = Pattern(2 * 65536 + 100);
  size_t at = 0;
  DWORD largest = 0;
  const PieceDigest result = HashPieces(bytes.size(), [&](unsigned char* buffer, DWORD wanted, DWORD& got) {
    largest = std::max(largest, wanted);
    got = wanted;
    memcpy(buffer, bytes.data() + at, wanted);
    at += wanted;
    return true;
  });
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(largest, 65536u);
  EXPECT_EQ(WideToUtf8(result.digest), Md5Hex(bytes.data(), bytes.size()));
}

// A file that shrinks while it is hashed reads 0 bytes before its size is
// reached: that must end as a read failure, not loop or give a digest.
TEST(FileDigestTest, SourceThatShrinksIsAReadFailure) {
  int calls = 0;
  const PieceDigest result = HashPieces(200000, [&](unsigned char*, DWORD wanted, DWORD& got) {
    ++calls;
    got = calls == 1 ? wanted : 0;
    return calls < 100;
  });
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.digest.empty());
  EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_HANDLE_EOF));
  EXPECT_EQ(calls, 2);
}

TEST(FileDigestTest, FailedReadGivesItsErrorCode) {
  const PieceDigest result = HashPieces(10, [](unsigned char*, DWORD, DWORD&) {
    SetLastError(ERROR_LOCK_VIOLATION);
    return false;
  });
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_LOCK_VIOLATION));
}

TEST(FileDigestTest, MissingFileGivesEmptyTextAndLogsTheOpenFailure) {
  ScratchDir dir;
  const std::wstring missing = dir / L"missing.bin";
  const std::wstring childExe = testing_support::TestBinaryDir() + L"\\digest_child.exe";
  const auto child = testing_support::RunChild(L"\"" + childExe + L"\" \"" + missing + L"\"");
  ASSERT_TRUE(child.started);
  const size_t newline = child.output.find("\r\n");
  ASSERT_NE(newline, std::string::npos) << child.output;
  EXPECT_EQ(child.output.substr(0, newline), "<empty>");
  std::string logPath = child.output.substr(newline + 2);
  while (!logPath.empty() && (logPath.back() == '\n' || logPath.back() == '\r')) logPath.pop_back();
  const std::string log = testing_support::ReadFileBytes(Utf8ToWide(logPath));
  EXPECT_NE(log.find("[Error][utils][utils][GetFileHexMd5@"), std::string::npos) << log;
  EXPECT_NE(log.find("] open " + WideToUtf8(missing) + " failed. error code: 2\r\n"), std::string::npos) << log;
  DeleteFileW(Utf8ToWide(logPath).c_str());
}
