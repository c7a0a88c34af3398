#include "net/FileDownloader.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/net/LoopbackServer.h"
#include "tests/support/TestSupport.h"

using net_testing::LoopbackServer;
using net_testing::PatternBytes;
using testing_support::ReadFileBytes;
using testing_support::RegistryOverride;
using testing_support::ScratchDir;

namespace {

// Downloads go to the scheme's own port (80 or 443), never to a port written
// in the URL. The test servers listen on ephemeral ports, so the downloads
// reach them the way a machine behind a proxy does: the machine-wide WinHTTP
// proxy setting (in the redirected registry) names our loopback proxy, which
// routes the invented host downloads.orvo.test to the test server.
constexpr wchar_t kHost[] = L"downloads.orvo.test";


struct ProgressCall {
  std::uint32_t percent;
  std::uint32_t speed;
};

class FileDownloaderTest : public ::testing::Test {
 protected:
  FileDownloaderTest()
      : server_("test_server.py", testing_support::MakeDirectory(work_ / L"server"), {"--tls"}),
        proxy_("test_proxy.py", testing_support::MakeDirectory(work_ / L"proxy"),
               {"--route downloads.orvo.test:80=127.0.0.1:" + std::to_string(server_.port("http")),
                "--route downloads.orvo.test:443=127.0.0.1:" + std::to_string(server_.port("https"))}) {}

  void SetUp() override {
    ASSERT_TRUE(server_.ready());
    ASSERT_TRUE(proxy_.ready());
    ASSERT_TRUE(net_testing::SetMachineWinHttpProxy("127.0.0.1:" + std::to_string(proxy_.port("proxy")), ""));
  }

  DownloadResult Download(const std::wstring& url, const std::wstring& path) {
    calls_.clear();
    return DownloadFile(url, path, [this](std::uint32_t p, std::uint32_t s) { calls_.push_back({p, s}); }, L"");
  }

  // What the proxy was asked for, as "METHOD target".
  std::vector<std::string> ProxyRequests() const {
    std::vector<std::string> lines;
    for (auto& r : proxy_.Requests()) lines.push_back(r["method"].get<std::string>() + " " + r["target"].get<std::string>());
    return lines;
  }

  RegistryOverride registry_;
  ScratchDir work_;
  ScratchDir files_;
  LoopbackServer server_;
  LoopbackServer proxy_;
  std::vector<ProgressCall> calls_;
};

TEST_F(FileDownloaderTest, WholeFileWithProbedSizeEndsAt100Percent) {
  const std::wstring path = files_ / L"a.bin";
  const DownloadResult result = Download(std::wstring(L"http://") + kHost + L"/bytes?n=100000", path);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.errorType, 0);
  EXPECT_EQ(result.errorCode, 0u);
  EXPECT_EQ(ReadFileBytes(path), PatternBytes(0, 100000));
  ASSERT_FALSE(calls_.empty());
  EXPECT_EQ(calls_.back().percent, 100u);
  for (size_t i = 1; i < calls_.size(); ++i) EXPECT_GE(calls_[i].percent, calls_[i - 1].percent);

  EXPECT_EQ(ProxyRequests(), (std::vector<std::string>{"HEAD http://downloads.orvo.test:80/bytes?n=100000",
                                                       "GET http://downloads.orvo.test:80/bytes?n=100000"}));
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& r : requests) {
    std::string agent;
    for (const auto& h : r["headers"]) {
      if (h[0] == "User-Agent") agent = h[1];
    }
    EXPECT_EQ(agent, "OrvoDownloader/1.0");
  }
}

TEST_F(FileDownloaderTest, SchemeChoosesPortAndSecurity) {
  // https: a secure request to port 443; the self-signed certificate is not
  // accepted here (no relaxation for downloads), so the send fails.
  const DownloadResult secure = Download(std::wstring(L"https://") + kHost + L"/bytes?n=10", files_ / L"s.bin");
  EXPECT_FALSE(secure.ok);
  EXPECT_EQ(secure.errorType, kDownloadSendFailed);
  EXPECT_NE(secure.errorCode, 0u);
  // ftp: a plain HTTP request to port 80, like http (the proxy sees the port
  // written out).
  const DownloadResult ftp = Download(std::wstring(L"ftp://") + kHost + L"/bytes?n=10", files_ / L"f.bin");
  EXPECT_TRUE(ftp.ok);
  EXPECT_EQ(ReadFileBytes(files_ / L"f.bin"), PatternBytes(0, 10));

  const auto lines = ProxyRequests();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "CONNECT downloads.orvo.test:443");
  EXPECT_EQ(lines[lines.size() - 2], "HEAD http://downloads.orvo.test:80/bytes?n=10");
  EXPECT_EQ(lines.back(), "GET http://downloads.orvo.test:80/bytes?n=10");
}

TEST_F(FileDownloaderTest, UrlsOutsideThePatternFailBeforeAnyRequest) {
  for (const std::wstring& url : {std::wstring(L"http://") + kHost, std::wstring(L"HTTP://") + kHost + L"/a"}) {
    const DownloadResult result = Download(url, files_ / L"x.bin");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.errorType, kDownloadBadUrl);
  }
  EXPECT_TRUE(ProxyRequests().empty());
  EXPECT_FALSE(testing_support::FileExists(files_ / L"x.bin"));
}

TEST_F(FileDownloaderTest, ErrorPageOfTheProbedSizeIsWrittenAndOk) {
  const std::wstring path = files_ / L"page.bin";
  const DownloadResult result =
      Download(std::wstring(L"http://") + kHost + L"/status?code=404&body=%3Chtml%3Egone%3C/html%3E", path);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(ReadFileBytes(path), "<html>gone</html>");
}

TEST_F(FileDownloaderTest, PiecesOfExactly8192AndOfMore) {
  for (const unsigned n : {8192u, 20000u, 8193u}) {
    const std::wstring path = files_ / (L"p" + std::to_wstring(n));
    const DownloadResult result = Download(std::wstring(L"http://") + kHost + L"/bytes?n=" + std::to_wstring(n), path);
    EXPECT_TRUE(result.ok) << n;
    EXPECT_EQ(ReadFileBytes(path), PatternBytes(0, n)) << n;
    ASSERT_FALSE(calls_.empty());
    EXPECT_EQ(calls_.back().percent, 100u) << n;
  }
}

TEST_F(FileDownloaderTest, MissingFolderGivesTheCreateError) {
  const DownloadResult result =
      Download(std::wstring(L"http://") + kHost + L"/bytes?n=10", files_ / L"no\\such\\folder\\a.bin");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.errorType, kDownloadFileFailed);
  EXPECT_EQ(result.errorCode, static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileDownloaderTest, UnknownSizeReadsToTheEndWithoutPercentages) {
  // No Content-Length at all, and a HEAD the server refuses: both leave the
  // size unknown.
  for (const wchar_t* query : {L"n=30000&nolength=1", L"n=30000&nohead=1"}) {
    const std::wstring path = files_ / L"u.bin";
    const DownloadResult result = Download(std::wstring(L"http://") + kHost + L"/bytes?" + query, path);
    EXPECT_TRUE(result.ok) << result.errorType;
    EXPECT_EQ(ReadFileBytes(path), PatternBytes(0, 30000));
    ASSERT_FALSE(calls_.empty());
    for (const auto& c : calls_) EXPECT_EQ(c.percent, 0u);
  }
}

TEST_F(FileDownloaderTest, ResponseEndingEarlyFailsAndKeepsWhatArrived) {
  const std::wstring path = files_ / L"cut.bin";
  const DownloadResult result = Download(std::wstring(L"http://") + kHost + L"/bytes?n=50000&drop=20000", path);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.errorType, kDownloadReadFailed);
  // WinHTTP reports no more data rather than a failed call.
  EXPECT_EQ(result.errorCode, static_cast<std::uint32_t>(ERROR_HANDLE_EOF));
  const std::string kept = ReadFileBytes(path);
  EXPECT_LE(kept.size(), 20000u);
  EXPECT_EQ(kept, PatternBytes(0, kept.size()));
}

TEST_F(FileDownloaderTest, SlowResponseReportsEveryChunk) {
  const std::wstring path = files_ / L"slow.bin";
  const DownloadResult result =
      Download(std::wstring(L"http://") + kHost + L"/bytes?n=40000&piece=10000&delay=150", path);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(ReadFileBytes(path), PatternBytes(0, 40000));
  ASSERT_GE(calls_.size(), 4u);
  EXPECT_EQ(calls_.back().percent, 100u);
  // About 40000 bytes in about 0.45 s: well below 1000 KiB/s, never zero at the end.
  EXPECT_GT(calls_.back().speed, 0u);
  EXPECT_LT(calls_.back().speed, 1000u);
}

}  // namespace
