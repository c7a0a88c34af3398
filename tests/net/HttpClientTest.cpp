#include "net/HttpClient.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/TextConvert.h"
#include "tests/net/LoopbackServer.h"
#include "tests/support/TestSupport.h"

using net_testing::LoopbackServer;
using testing_support::RegistryOverride;
using testing_support::ScratchDir;

namespace {

// Every case has its own server on its own ports, and its own registry, so
// that a failed send never reaches the machine's real proxy settings.
class HttpClientTest : public ::testing::Test {
 protected:
  explicit HttpClientTest(std::vector<std::string> args = {}) : server_("test_server.py", dir_.path(), args) {}
  void SetUp() override { ASSERT_TRUE(server_.ready()); }

  std::vector<nlohmann::json> RequestsTo(const std::string& path) const {
    std::vector<nlohmann::json> found;
    for (auto& r : server_.Requests()) {
      if (r["path"] == path) found.push_back(r);
    }
    return found;
  }

  RegistryOverride registry_;
  ScratchDir dir_;
  LoopbackServer server_;
};

class HttpsClientTest : public HttpClientTest {
 protected:
  HttpsClientTest() : HttpClientTest({"--tls"}) {}
};

TEST_F(HttpClientTest, QueryStringIsSentAsPartOfThePath) {
  HttpClient client(server_.wbase("http") + L"/status?code=200&body=hello&sign=ab%2Fc&nonce=7");
  ASSERT_TRUE(client.Request(L"GET"));
  EXPECT_EQ(client.GetStatusText(), L"200");
  EXPECT_EQ(client.GetResponseText(), L"hello");
  EXPECT_EQ(client.hostName, L"127.0.0.1");
  const auto requests = RequestsTo("/status?code=200&body=hello&sign=ab%2Fc&nonce=7");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["method"], "GET");
}

TEST_F(HttpClientTest, EmptyUrlAndOtherMethodsAreRefused) {
  HttpClient empty(L"");
  EXPECT_FALSE(empty.Request(L"GET"));
  EXPECT_EQ(empty.lastError, 3u);
  HttpClient put(server_.wbase("http") + L"/status");
  EXPECT_FALSE(put.Request(L"PUT"));
  EXPECT_EQ(put.lastError, 87u);
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(HttpsClientTest, CertificateErrorsAreIgnoredUnlessStrict) {
  // Strict first: WinHTTP keeps verified connections for reuse by later requests.
  for (const char* listener : {"https", "expired", "misnamed"}) {
    HttpClient strict(server_.wbase(listener) + L"/status?body=secret");
    strict.strictCertificates = true;
    EXPECT_FALSE(strict.Request(L"GET")) << listener;
    // Windows reports the failed check; Wine's channel reports the refused handshake.
    EXPECT_TRUE(strict.lastError == ERROR_WINHTTP_SECURE_FAILURE || strict.lastError == ERROR_WINHTTP_SECURE_CHANNEL_ERROR)
        << listener << " error " << strict.lastError;
    EXPECT_TRUE(strict.GetResponseText().empty()) << listener;
  }
  for (const char* listener : {"https", "expired", "misnamed"}) {
    HttpClient relaxed(server_.wbase(listener) + L"/status?body=secret");
    EXPECT_TRUE(relaxed.Request(L"GET")) << listener << " error " << relaxed.lastError;
    EXPECT_EQ(relaxed.GetResponseText(), L"secret") << listener;
  }
}

TEST_F(HttpClientTest, PageWithoutClosingTagIsFetchedThreeTimesThenFails) {
  HttpClient open(server_.wbase("http") + L"/html-open");
  EXPECT_FALSE(open.Request(L"GET"));
  EXPECT_EQ(open.lastError, 13u);
  EXPECT_EQ(RequestsTo("/html-open").size(), 3u);

  HttpClient whole(server_.wbase("http") + L"/html-whole");
  EXPECT_TRUE(whole.Request(L"GET"));
  HttpClient noTags(server_.wbase("http") + L"/status?body=no%20tags%20here");
  EXPECT_TRUE(noTags.Request(L"GET"));
  EXPECT_EQ(RequestsTo("/html-whole").size(), 1u);
}

TEST_F(HttpClientTest, PostIsNeverCheckedForHtmlAndSendsItsBody) {
  const std::string body = "{\"event\":1}";
  const HttpResult result = HttpPost(server_.base("http") + "/html-open", body, "application/json");
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.status, 200);
  EXPECT_EQ(result.body, "<HTML><body>cut short");
  const auto requests = RequestsTo("/html-open");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["method"], "POST");
  EXPECT_EQ(requests[0]["body_size"], body.size());
  std::string contentType;
  for (const auto& h : requests[0]["headers"]) {
    if (h[0] == "Content-Type") contentType = h[1];
  }
  EXPECT_EQ(contentType, "application/json");
}

TEST_F(HttpClientTest, CharsetOfTheResponseReplacesThePreset) {
  HttpClient gbk(server_.wbase("http") + L"/gbk");
  gbk.charset = L"utf-8";
  ASSERT_TRUE(gbk.Request(L"GET"));
  EXPECT_EQ(gbk.charset, L"GBK");
  // Decoded with the ANSI code page, not as UTF-8.
  const std::string gbkBytes = "\xD6\xD0\xCE\xC4";
  EXPECT_EQ(gbk.GetResponseText(), AnsiToWide(gbkBytes));
  EXPECT_NE(gbk.GetResponseText(), Utf8ToWide(gbkBytes));

  HttpClient plain(server_.wbase("http") + L"/nocharset");
  plain.charset = L"utf-8";
  ASSERT_TRUE(plain.Request(L"GET"));
  EXPECT_EQ(plain.charset, L"utf-8");
  EXPECT_EQ(plain.GetResponseText(), L"\u4e2d\u6587");

  HttpClient kept(server_.wbase("http") + L"/gbk");
  kept.charset = L"utf-8";
  kept.keepCharset = true;
  ASSERT_TRUE(kept.Request(L"GET"));
  EXPECT_EQ(kept.charset, L"utf-8");
}

TEST_F(HttpClientTest, StatusAndBodyDecideSuccess) {
  struct {
    std::string path;
    bool ok;
    int status;
    std::string body;
    bool success;
  } const cases[] = {
      {"/status?code=404&body=missing", true, 404, "missing", false},
      {"/status?code=200&body=", true, 200, "", false},
      {"/status?code=200&body=fine", true, 200, "fine", true},
      {"/status?code=202&body=later", true, 202, "later", true},
      {"/status?code=500&body=broken", true, 500, "broken", false},
  };
  for (const auto& c : cases) {
    const HttpResult result = HttpGet(server_.base("http") + c.path, L"utf-8");
    EXPECT_EQ(result.ok, c.ok) << c.path;
    EXPECT_EQ(result.status, c.status) << c.path;
    EXPECT_EQ(result.body, c.body) << c.path;
    EXPECT_EQ(IsHttpSuccess(result), c.success) << c.path;
  }
}

TEST_F(HttpClientTest, BodiesAroundAndBeyondTheFirstBufferArriveWhole) {
  // 10240 is the first buffer's size: the terminating zero needs one more byte.
  for (const unsigned n : {10239u, 10240u, 10241u, 50000u}) {
    HttpClient client(server_.wbase("http") + L"/text?n=" + std::to_wstring(n));
    ASSERT_TRUE(client.Request(L"GET")) << n;
    EXPECT_EQ(client.rawBodyLength, n);
    EXPECT_EQ(client.contentLength, static_cast<std::int32_t>(n));
    ASSERT_EQ(client.GetResponseText().size(), n);
    for (unsigned i = 0; i < n; i += 997) EXPECT_EQ(client.GetResponseText()[i], L'a' + i % 26) << i;
    EXPECT_EQ(client.rawBody[n], 0);
  }
}

TEST_F(HttpClientTest, CookiesAndLocationAreCollected) {
  HttpClient client(server_.wbase("http") + L"/cookies?dup=1");
  ASSERT_TRUE(client.Request(L"GET"));
  EXPECT_EQ(client.receivedCookies, L"a=1; path=/; b=2;");
  EXPECT_NE(client.responseHeaders.find(L"Set-Cookie: b=2\r\n"), std::wstring::npos);

  HttpClient moved(server_.wbase("http") + L"/location");
  ASSERT_TRUE(moved.Request(L"GET"));
  EXPECT_EQ(moved.location, L"12345");
}

TEST_F(HttpClientTest, CookieAndExtraHeadersAreSent) {
  HttpClient client(server_.wbase("http") + L"/status?body=x");
  client.cookie = L"session=42";
  client.extraHeaders = L"X-Orvo: one\r\n";
  client.userAgent = L"OrvoTestAgent";
  ASSERT_TRUE(client.Request(L"GET"));
  const auto requests = RequestsTo("/status?body=x");
  ASSERT_EQ(requests.size(), 1u);
  std::map<std::string, std::string> headers;
  for (const auto& h : requests[0]["headers"]) headers[h[0]] = h[1];
  EXPECT_EQ(headers["Cookie"], "session=42");
  EXPECT_EQ(headers["X-Orvo"], "one");
  EXPECT_EQ(headers["User-Agent"], "OrvoTestAgent");
}

std::vector<double> g_progress;
void RecordProgress(double percent) { g_progress.push_back(percent); }

TEST_F(HttpClientTest, ProgressIsAPercentOfContentLength) {
  g_progress.clear();
  HttpClient client(server_.wbase("http") + L"/text?n=40000");
  client.progressCallback = &RecordProgress;
  ASSERT_TRUE(client.Request(L"GET"));
  ASSERT_GE(g_progress.size(), 2u);
  EXPECT_DOUBLE_EQ(g_progress.back(), 100.0);
  for (size_t i = 1; i < g_progress.size(); ++i) EXPECT_GE(g_progress[i], g_progress[i - 1]);
}

TEST_F(HttpClientTest, NoServerGivesTheConnectErrorAfterThreeAttempts) {
  HttpClient client(server_.wbase("closed") + L"/status?body=x");
  EXPECT_FALSE(client.Request(L"GET"));
  EXPECT_EQ(client.lastError, static_cast<std::uint32_t>(ERROR_WINHTTP_CANNOT_CONNECT));
}

}  // namespace
