#include "config/ExternData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// A file in memory; reads past its end are short, as ReadFile's are.
class MemorySource : public ExternDataSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  bool Read(std::uint64_t offset, std::uint32_t size, std::uint8_t* buffer, std::uint32_t& read,
            std::uint32_t& error) override {
    largestRead = std::max(largestRead, size);
    if (++calls == failOnCall) {
      error = 5;
      return false;
    }
    read = 0;
    if (offset < bytes_.size()) {
      read = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, bytes_.size() - offset));
      std::memcpy(buffer, bytes_.data() + offset, read);
    }
    return true;
  }
  std::uint64_t size() const { return bytes_.size(); }

  int failOnCall = 0;
  int calls = 0;
  std::uint32_t largestRead = 0;

 private:
  std::string bytes_;
};

const std::string kPrefix = "MZ" + std::string(500, '\x90');  // stands in for the signed executable

ExternDataWalk Walk(const std::string& file) {
  MemorySource source(file);
  return WalkExternData(source, source.size());
}

std::vector<std::string> LogTexts(const ExternDataWalk& walk) {
  std::vector<std::string> texts;
  for (const auto& event : walk.log) texts.push_back(std::to_string(event.level) + " " + event.text);
  return texts;
}

const std::string kMagicLine = "2 check magic failed or length is zero";

}  // namespace

TEST(ExternDataTest, HeaderLayout) {
  const std::string block = BuildExternDataBlock("{\"a\":1}", 192);
  ASSERT_EQ(block.size(), 192u + 40u);
  const std::string header = block.substr(192);
  EXPECT_EQ(static_cast<unsigned char>(header[0]), 0xF4);
  EXPECT_EQ(static_cast<unsigned char>(header[1]), 0x0E);
  EXPECT_EQ(header.substr(2, 4), std::string("\xC0\x00\x00\x00", 4));
  EXPECT_EQ(header[38], '\0');
  EXPECT_EQ(header[39], '\x01');
  const ExternDataHeader parsed = ParseExternDataHeader(reinterpret_cast<const std::uint8_t*>(header.data()));
  EXPECT_EQ(parsed.magic, kExternDataMagic);
  EXPECT_EQ(parsed.length, 192u);
  EXPECT_EQ(parsed.digest.size(), 32u);
  EXPECT_TRUE(std::all_of(parsed.digest.begin(), parsed.digest.end(),
                          [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || std::isupper(c); }));
}

TEST(ExternDataTest, NoBlocksEndsWithTheMagicLine) {
  const ExternDataWalk walk = Walk(kPrefix);
  EXPECT_TRUE(walk.blocks.empty());
  EXPECT_EQ(LogTexts(walk), std::vector<std::string>{kMagicLine});
}

TEST(ExternDataTest, BlocksAreFoundFromTheEndBackwards) {
  const std::string first = "{\"supplyid\":1}", second = "{\"supplyid\":2}";
  const ExternDataWalk walk = Walk(kPrefix + BuildExternDataBlock(first, 64) + BuildExternDataBlock(second, 192));
  ASSERT_EQ(walk.blocks.size(), 2u);
  EXPECT_EQ(walk.blocks[0]["supplyid"], 2);
  EXPECT_EQ(walk.blocks[1]["supplyid"], 1);
  EXPECT_EQ(LogTexts(walk), (std::vector<std::string>{"1 find the inject data: " + second,
                                                      "1 find the inject data: " + first, kMagicLine}));
}

TEST(ExternDataTest, TextEndsAtTheFirstZeroAndAnyJsonValueIsFound) {
  std::string data = std::string("[1,2]") + '\0' + "trailing junk";
  const ExternDataWalk walk = Walk(kPrefix + BuildExternDataBlock(data, 64));
  ASSERT_EQ(walk.blocks.size(), 1u);
  EXPECT_TRUE(walk.blocks[0].is_array());
  EXPECT_EQ(walk.log[0].text, "find the inject data: [1,2]");
}

TEST(ExternDataTest, LowerCaseDigestMatches) {
  std::string block = BuildExternDataBlock("{\"area\":\"x\"}", 32);
  for (size_t i = 32 + 6; i < 32 + 38; ++i) block[i] = static_cast<char>(std::tolower(block[i]));
  const ExternDataWalk walk = Walk(kPrefix + block);
  EXPECT_EQ(walk.blocks.size(), 1u);
}

TEST(ExternDataTest, DigestMismatchStopsTheWalk) {
  std::string bad = BuildExternDataBlock("{\"supplyid\":2}", 64);
  bad[0] = '[';  // data no longer matches the digest
  const ExternDataWalk walk = Walk(kPrefix + BuildExternDataBlock("{\"supplyid\":1}", 64) + bad);
  EXPECT_TRUE(walk.blocks.empty());
  ASSERT_EQ(walk.log.size(), 1u);
  EXPECT_EQ(walk.log[0].level, 3);
  EXPECT_EQ(walk.log[0].text.rfind("extern data md5 is not equal to header md5. header md5: ", 0), 0u);
  EXPECT_NE(walk.log[0].text.find(" data md5: "), std::string::npos);
}

TEST(ExternDataTest, BadJsonEndsTheWalkButKeepsWhatWasFound) {
  const ExternDataWalk walk =
      Walk(kPrefix + BuildExternDataBlock("{\"supplyid\":1}", 64) + BuildExternDataBlock("{oops", 64) +
           BuildExternDataBlock("{\"supplyid\":3}", 64));
  ASSERT_EQ(walk.blocks.size(), 1u);
  EXPECT_EQ(walk.blocks[0]["supplyid"], 3);
  ASSERT_EQ(walk.log.size(), 2u);
  EXPECT_EQ(walk.log[1].level, 1);
  EXPECT_EQ(walk.log[1].text.rfind("parse the inject data: {oops failed. exception: parse error", 0), 0u)
      << walk.log[1].text;
}

TEST(ExternDataTest, ZeroLengthAndShortFilesEndWithTheMagicLine) {
  std::string zeroLength = BuildExternDataBlock("{}", 8).substr(8);
  zeroLength[2] = zeroLength[3] = zeroLength[4] = zeroLength[5] = '\0';
  EXPECT_EQ(LogTexts(Walk(kPrefix + zeroLength)), std::vector<std::string>{kMagicLine});
  // A header position before the start of the file reads as zeros.
  EXPECT_EQ(LogTexts(Walk("tiny")), std::vector<std::string>{kMagicLine});
  EXPECT_EQ(LogTexts(Walk("")), std::vector<std::string>{kMagicLine});
}

TEST(ExternDataTest, LengthBeyondTheFileIsADigestMismatchWithoutAllocatingIt) {
  for (const std::uint32_t length : {600u, 0xFFFFFFF0u}) {
    std::string header = BuildExternDataBlock("{}", 8).substr(8);
    for (int i = 0; i < 4; ++i) header[2 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    MemorySource source(kPrefix + header);
    const ExternDataWalk walk = WalkExternData(source, source.size());
    EXPECT_TRUE(walk.blocks.empty());
    ASSERT_EQ(walk.log.size(), 1u);
    EXPECT_EQ(walk.log[0].level, 3);
    EXPECT_EQ(walk.log[0].text.rfind("extern data md5 is not equal to header md5.", 0), 0u);
    EXPECT_LE(source.largestRead, 64u * 1024u);
  }
}

TEST(ExternDataTest, ReadFailuresAreLoggedWithTheirCode) {
  const std::string file = kPrefix + BuildExternDataBlock("{}", 8);
  MemorySource headerFails(file);
  headerFails.failOnCall = 1;
  EXPECT_EQ(LogTexts(WalkExternData(headerFails, headerFails.size())),
            std::vector<std::string>{"3 read extern data header failed. error code: 5"});
  MemorySource dataFails(file);
  dataFails.failOnCall = 2;
  EXPECT_EQ(LogTexts(WalkExternData(dataFails, dataFails.size())),
            std::vector<std::string>{"2 read extern data failed. error code: 5"});
}
