#include "report/ReportEncoding.h"

#include <gtest/gtest.h>

using namespace OrvoReportMgr;
using Bytes = std::vector<std::uint8_t>;

TEST(ReportEncodingTest, Values) {
  struct Case {
    const char* what;
    void (*write)(BlockWriter&);
    Bytes expected;
  } const kCases[] = {
      {"abc", [](BlockWriter& w) { w.String("abc"); }, {0x00, 0x04, 0x61, 0x62, 0x63, 0x00}},
      {"empty string", [](BlockWriter& w) { w.String(""); }, {0x00, 0x01, 0x00}},
      {"u16", [](BlockWriter& w) { w.U16(0xD85C); }, {0xD8, 0x5C}},
      {"u32", [](BlockWriter& w) { w.U32(0x01020304); }, {0x01, 0x02, 0x03, 0x04}},
      {"u64", [](BlockWriter& w) { w.U64(0x0102030405060708ull); }, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"u64 negative", [](BlockWriter& w) { w.U64(static_cast<std::uint64_t>(-2)); },
       {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}},
  };
  for (const Case& c : kCases) {
    BlockWriter w;
    c.write(w);
    EXPECT_EQ(w.bytes(), c.expected) << c.what;
  }
}

TEST(ReportEncodingTest, ValueThatDoesNotFitIsLeftOut) {
  BlockWriter w(10);
  w.U64(1);             // 8 used
  w.U32(2);             // 4 don't fit in 2: left out
  w.String("a");        // 3 don't fit: left out
  w.U16(0xABCD);        // exactly fills the block
  w.U16(1);             // full
  EXPECT_EQ(w.bytes(), (Bytes{0, 0, 0, 0, 0, 0, 0, 1, 0xAB, 0xCD}));

  BlockWriter big;
  big.String(std::string(65530, 'x'));  // 65533 bytes
  big.U32(7);                           // 3 left: skipped
  big.U16(7);
  big.String("");                       // 1 left: skipped
  EXPECT_EQ(big.bytes().size(), 65535u);
  EXPECT_EQ(big.bytes()[65533], 0);
  EXPECT_EQ(big.bytes()[65534 - 0], 7);
  BlockWriter huge;
  huge.String(std::string(70000, 'x'));  // longer than its length field and the block
  EXPECT_TRUE(huge.bytes().empty());
}

TEST(ReportEncodingTest, BrowserVersionPacking) {
  struct Case {
    const char* text;
    std::uint64_t expected;
  } const kCases[] = {
      {"11.1.19041.0", 0x000B00014A610000ull},
      {"9.11", 0},
      {"9.11.19041", 0},
      {"", 0},
      {"11.0.9600.16384", 0x000B000025804000ull},
      {"8.0.7601.17514 extra", 0x000800001DB1446Aull},  // text after the fourth number is ignored
      {"1.2.3.65537", 0x0001000200030001ull},  // each part cut to 16 bits
      {"a.b.c.d", 0},
      {"1..2.3", 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(PackBrowserVersion(c.text), c.expected) << c.text;
}

TEST(ReportEncodingTest, EnvironmentBlockOrder) {
  ReportEnvironment e;
  e.guid = "ab";
  e.clientVersion = 0x0102030405060708ull;
  e.supplyId = 0x0A0B0C0D;
  SetOsVersion(e, 10, 0, 0xF0004A61);
  e.processorArchitecture = 9;
  e.systemLanguage = 0x0409;
  e.browserVersion = 0x000B00014A610000ull;
  const Bytes expected = {0, 3, 'a', 'b', 0,                  // guid
                          1, 2, 3, 4, 5, 6, 7, 8,             // client version
                          0x0A, 0x0B, 0x0C, 0x0D,             // supply id
                          0, 0, 0, 0, 0, 0, 0, 0,             // reserved value
                          0, 10, 0, 0, 0x4A, 0x61, 0xF0, 0,   // os major, minor, build, build flags
                          0, 9, 0x04, 0x09,                   // architecture, language
                          0, 0x0B, 0, 0x01, 0x4A, 0x61, 0, 0, // browser version
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          0, 1, 0};                           // reserved text
  EXPECT_EQ(EncodeEnvironment(e), expected);
}

TEST(ReportEncodingTest, EventBlockOrder) {
  ReportEvent event;
  event.type = 2;
  event.step = -1;
  event.result_info = "r";
  event.ireserve[0] = 6;
  event.ireserve[9] = 0x12345678;
  event.strreserve[0] = "app";
  const Bytes block = EncodeEvent(event);
  ASSERT_EQ(block.size(), 6 * 4 + 4 + 3 + 10 * 8 + (6 + 9 * 3));
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), (Bytes{0, 0, 0, 2}));
  EXPECT_EQ(Bytes(block.begin() + 16, block.begin() + 20), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Bytes(block.begin() + 24, block.begin() + 31), (Bytes{0, 2, 'r', 0, 0, 1, 0}));
  EXPECT_EQ(block[31 + 7], 6);
  EXPECT_EQ(Bytes(block.begin() + 31 + 72, block.begin() + 31 + 80), (Bytes{0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(Bytes(block.begin() + 111, block.begin() + 117), (Bytes{0, 4, 'a', 'p', 'p', 0}));
}

TEST(ReportEncodingTest, HeaderLayout) {
  const ReportHeader header;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&header);
  EXPECT_EQ(Bytes(bytes, bytes + sizeof header),
            (Bytes{0x5C, 0xD8, 0, 0, 1, 0, 0x25, 0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ReportEncodingTest, EventFromJsonKeys) {
  const ReportEvent e = ReportEventFromJson(
      {{"ireserve1", 202}, {"ireserve7", -5}, {"type", 9}, {"strreserve3", "s"}, {"error_info", "e"}, {"other", 1}});
  EXPECT_EQ(e.type, 9);
  EXPECT_EQ(e.ireserve[1], 202);
  EXPECT_EQ(e.ireserve[7], -5);
  EXPECT_EQ(e.ireserve[0], 0);
  EXPECT_EQ(e.strreserve[3], "s");
  EXPECT_EQ(e.error_info, "e");
  EXPECT_EQ(e.result, 0);
  EXPECT_THROW(ReportEventFromJson({{"ireserve1", "text"}}), nlohmann::json::type_error);
}
