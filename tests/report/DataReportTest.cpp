#include "report/DataReport.h"

#include <gtest/gtest.h>

#include <vector>

TEST(DataReportTest, EventsCarryExactlyTheirKeys) {
  DataReport front(std::array<std::uint8_t, 16>{});
  std::vector<ReportEventJson> sent;
  front.SetSender([&sent](ReportEventJson event) { sent.push_back(std::move(event)); });
  front.SendEvent(202, 20, 3, 0);
  front.SendClickEvent(6);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], (ReportEventJson{{"ireserve1", 202}, {"ireserve5", 20}, {"ireserve6", 3}, {"ireserve7", 0}}));
  for (const auto& [key, value] : sent[0].items()) EXPECT_TRUE(value.is_number_integer()) << key;
  EXPECT_EQ(sent[1], (ReportEventJson{{"ireserve0", 6}}));
  front.SendEvent(-1, -2, -3, 2147483647);
  EXPECT_EQ(sent[2]["ireserve1"].get<std::int64_t>(), -1);
  EXPECT_EQ(sent[2]["ireserve7"].get<std::int64_t>(), 2147483647);
}

TEST(DataReportTest, BuildKeepsItsLowSixteenBits) {
  EXPECT_EQ(NtVersionFromNumbers(10, 0, 0xF0004A63).build, 19043u);
  EXPECT_EQ(NtVersionFromNumbers(6, 1, 7601).build, 7601u);
  const DataReport front(std::array<std::uint8_t, 16>{});
  EXPECT_GE(front.sys_major, 5u);  // the system reported a version
  EXPECT_LE(front.sys_build, 0xFFFFu);
}

TEST(DataReportTest, GuidIsTheIdentifierInHex) {
  std::array<std::uint8_t, 16> id{};
  id[0] = 0x0F;
  id[15] = 0xA0;
  EXPECT_EQ(DataReport(id).guid, "0f0000000000000000000000000000a0");
}

TEST(DataReportTest, LibraryRecordOfAClick) {
  DataReport front(std::array<std::uint8_t, 16>{});
  front.client_version = 0xABCD000012345678ull;
  front.strcommon0 = "app";
  std::vector<ReportEventJson> sent;
  front.SetSender([&sent](ReportEventJson event) { sent.push_back(std::move(event)); });
  front.SendClickEvent(6);
  ASSERT_EQ(sent.size(), 1u);
  const ReportEvent record = front.LibraryRecord(sent[0]);
  ReportEvent expected;
  expected.type = 2;
  expected.ireserve[0] = 6;
  expected.ireserve[9] = 0x12345678;  // low half only
  expected.strreserve[0] = "app";
  EXPECT_EQ(record.type, expected.type);
  EXPECT_EQ(record.ireserve, expected.ireserve);
  EXPECT_EQ(record.strreserve, expected.strreserve);
  EXPECT_EQ(record.result, 0);
  EXPECT_EQ(record.step, 0);
  EXPECT_EQ(record.result_info, "");
  EXPECT_EQ(record.error_info, "");
  // A JSON value of the wrong type is dropped by the library sender, not thrown.
  front.ReportThroughLibrary(ReportEventJson{{"ireserve0", "six"}});
}
