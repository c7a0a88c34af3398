#include "report/HttpReportChannel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "base/WorkerPool.h"
#include "report/DataReport.h"
#include "tests/net/LoopbackServer.h"
#include "tests/support/TestSupport.h"

namespace {

const std::string kGuid = "00112233445566778899aabbccddeeff";

void FillIdentifiers(DataReport& front) {
  front.guid = kGuid;
  front.client_version = 190912;
  front.supplyid = 42;
  front.strcommon0 = "app-7";
  front.language = L"zh_CN";
  front.sys_major = 10;
  front.sys_minor = 0;
  front.sys_build = 19043;
}

std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string QueryValue(const std::string& path, const std::string& key) {
  const size_t at = path.find("&" + key + "=");
  if (at == std::string::npos) return {};
  const size_t start = at + key.size() + 2;
  const size_t end = key == "data" ? path.size() : path.find('&', start);
  return PercentDecoded(path.substr(start, end - start));
}

}  // namespace

TEST(HttpReportChannelTest, SignatureCoversSaltNonceAndGuidOnly) {
  EXPECT_EQ(ReportSignature(12345, kGuid), "db0f400521b06b7bebe3081db553c9cc");
  EXPECT_NE(ReportSignature(12346, kGuid), ReportSignature(12345, kGuid));
}

TEST(HttpReportChannelTest, NonceStaysWithinItsRange) {
  std::uint32_t low = 99999, high = 10000;
  for (int i = 0; i < 20000; ++i) {
    const std::uint32_t nonce = DrawReportNonce();
    ASSERT_GE(nonce, 10000u);
    ASSERT_LE(nonce, 99999u);
    low = std::min(low, nonce);
    high = std::max(high, nonce);
  }
  EXPECT_LT(low, 11000u);
  EXPECT_GT(high, 99000u);
}

TEST(HttpReportChannelTest, EventSerialisesSortedCompactAndInRawUtf8) {
  DataReport front;
  FillIdentifiers(front);
  front.language = L"\u4e2d\u6587";
  nlohmann::json event = {{"ireserve1", 202}, {"ireserve5", 20}, {"ireserve6", 3}, {"ireserve7", 0}};
  event["type"] = 7;  // replaced
  AddCommonReportKeys(event, front, 1700000000);
  EXPECT_EQ(event.dump(),
            "{\"client_version\":190912,\"guid\":\"00112233445566778899aabbccddeeff\",\"icommon0\":190912,"
            "\"ireserve1\":202,\"ireserve5\":20,\"ireserve6\":3,\"ireserve7\":0,\"language\":\"\xe4\xb8\xad\xe6\x96\x87\","
            "\"strcommon0\":\"app-7\",\"supplyid\":42,\"sys_build\":19043,\"sys_major\":10,\"sys_minor\":0,"
            "\"time_t\":1700000000,\"type\":2}");
  EXPECT_EQ(BuildReportUrl("r.example", "s1", 12345, "{\"a\":1}"),
            "https://r.example/report/clientreport?retflag=json&sign=s1&nonce=12345&data={\"a\":1}");
}

// The report host of this build is 127.0.0.1:47103; the server takes that port.
class HttpReportServerTest : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"--tls", "--https-port", "47103"};
    args.insert(args.end(), extra.begin(), extra.end());
    server = std::make_unique<net_testing::LoopbackServer>("test_server.py", dir.path(), args);
    ASSERT_TRUE(server->ready());
  }
  std::vector<nlohmann::json> WaitForReports(size_t count) {
    for (int i = 0; i < 300; ++i) {
      std::vector<nlohmann::json> reports;
      for (const auto& r : server->Requests()) {
        if (r["path"].get<std::string>().rfind("/report/clientreport", 0) == 0) reports.push_back(r);
      }
      if (reports.size() >= count) return reports;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
  }

  testing_support::ScratchDir dir;
  std::unique_ptr<net_testing::LoopbackServer> server;
};

TEST_F(HttpReportServerTest, EventTravelsAsASignedPostFromAWorker) {
  Start();
  DataReport front;
  FillIdentifiers(front);
  front.SetSender(front.HttpSender());
  front.SendEvent(202, 20, 3, 0);
  const auto reports = WaitForReports(1);
  ASSERT_EQ(reports.size(), 1u);
  const nlohmann::json& request = reports[0];
  EXPECT_EQ(request["method"], "POST");
  EXPECT_EQ(request["listener"], "https");
  EXPECT_EQ(request["body_size"], 0);
  const std::string path = request["path"];
  ASSERT_EQ(path.rfind("/report/clientreport?retflag=json&sign=", 0), 0u) << path;
  const std::string nonce = QueryValue(path, "nonce");
  ASSERT_EQ(nonce.size(), 5u) << path;
  EXPECT_EQ(QueryValue(path, "sign"), ReportSignature(static_cast<std::uint32_t>(std::stoul(nonce)), kGuid));
  const nlohmann::json data = nlohmann::json::parse(QueryValue(path, "data"));
  EXPECT_EQ(data["ireserve1"], 202);
  EXPECT_EQ(data["ireserve5"], 20);
  EXPECT_EQ(data["ireserve6"], 3);
  EXPECT_EQ(data["guid"], kGuid);
  EXPECT_EQ(data["supplyid"], 42);
  EXPECT_EQ(data["type"], 2);
  EXPECT_EQ(data["language"], "zh_CN");
  EXPECT_EQ(data.size(), 15u);
  bool sawLength = false;
  for (const auto& header : request["headers"]) {
    if (header[0] == "Content-Length") sawLength = header[1] == "0";
  }
  EXPECT_TRUE(sawLength);
  minilib::WorkerPool::Instance().Stop();  // the send has finished before the front goes
}

TEST_F(HttpReportServerTest, EmptyAnswerIsLoggedAsReportDataError) {
  Start({"--report-body="});
  testing_support::LogCapture log;
  DataReport front;
  FillIdentifiers(front);
  front.ReportDataByHttp({{"ireserve0", 6}});
  ASSERT_EQ(WaitForReports(1).size(), 1u);
  const std::string line = "[Error][Report][DataReport][DataReport::ReportDataByHttp] report data error";
  EXPECT_TRUE(log.Contains(line));
  EXPECT_EQ(log.SourceLineOf(line), 182);
}
