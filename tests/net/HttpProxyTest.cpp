// The request client's fall-back to the user's proxy settings after a send
// fails. The URL names a port nobody listens on at 127.0.0.1, so the direct
// send is refused; our loopback proxy routes that address to the test server,
// standing in for a host only the proxy can reach.
#include "net/HttpClient.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/TextConvert.h"
#include "tests/net/LoopbackServer.h"
#include "tests/support/TestSupport.h"

using net_testing::LoopbackServer;
using testing_support::RegistryOverride;
using testing_support::ScratchDir;

namespace {

constexpr wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Writes the current user's proxy settings in both forms Windows keeps them:
// the values the Internet Options dialog shows (ProxyEnable, ProxyServer,
// AutoConfigURL) and the binary DefaultConnectionSettings record under
// Connections, which is what WinHTTP reads (Wine reads only the record).
void SetUserProxySettings(const std::string& proxy, const std::string& scriptUrl) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD enable = proxy.empty() ? 0 : 1;
  RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof enable);
  const std::wstring server = Utf8ToWide(proxy);
  RegSetValueExW(key, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                 static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
  if (!scriptUrl.empty()) {
    const std::wstring script = Utf8ToWide(scriptUrl);
    RegSetValueExW(key, L"AutoConfigURL", 0, REG_SZ, reinterpret_cast<const BYTE*>(script.c_str()),
                   static_cast<DWORD>((script.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);

  // Record: 0x46, a change counter, flags (1 direct, 2 proxy, 4 script), then
  // proxy, bypass list and script URL as length-prefixed ASCII.
  std::string blob;
  auto put = [&blob](DWORD v) { blob.append(reinterpret_cast<const char*>(&v), sizeof v); };
  put(0x46);
  put(1);
  put(1 | (proxy.empty() ? 0 : 2) | (scriptUrl.empty() ? 0 : 4));
  put(static_cast<DWORD>(proxy.size()));
  blob += proxy;
  put(0);
  put(static_cast<DWORD>(scriptUrl.size()));
  blob += scriptUrl;
  blob.append(32, '\0');
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kInternetSettings) + L"\\Connections").c_str(), 0,
                            nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"DefaultConnectionSettings", 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()),
                 static_cast<DWORD>(blob.size()));
  RegCloseKey(key);
}

class HttpProxyTest : public ::testing::Test {
 protected:
  HttpProxyTest()
      : server_("test_server.py", testing_support::MakeDirectory(work_ / L"server")),
        unreachable_("127.0.0.1:" + std::to_string(server_.port("closed"))),
        proxy_("test_proxy.py", testing_support::MakeDirectory(work_ / L"proxy"),
               {"--route " + unreachable_ + "=127.0.0.1:" + std::to_string(server_.port("http"))}) {}

  void SetUp() override {
    ASSERT_TRUE(server_.ready());
    ASSERT_TRUE(proxy_.ready());
  }

  std::string proxyAddress() const { return "127.0.0.1:" + std::to_string(proxy_.port("proxy")); }

  RegistryOverride registry_;
  ScratchDir work_;
  LoopbackServer server_;
  std::string unreachable_;
  LoopbackServer proxy_;
};

TEST_F(HttpProxyTest, FixedProxyIsSetForTheNextAttempts) {
  // The fall-back sets the user's fixed proxy on the request handle for the
  // next attempt. Wine accepts WINHTTP_OPTION_PROXY on a request handle but
  // does not apply it (its handler is a stub), so under Wine the later
  // attempts go direct again and fail like the first; setting the option
  // itself does not fail, so the recorded error stays the send's.
  SetUserProxySettings(proxyAddress(), "");
  HttpClient client(Utf8ToWide("http://" + unreachable_ + "/status?body=via-proxy"));
  EXPECT_FALSE(client.Request(L"GET"));
  EXPECT_EQ(client.lastError, static_cast<std::uint32_t>(ERROR_WINHTTP_CANNOT_CONNECT));
  EXPECT_TRUE(proxy_.Requests().empty());
}

TEST_F(HttpProxyTest, ScriptUrlIsTriedInsteadOfTheFixedProxy) {
  // Settings naming a script and a fixed proxy: the script is the one tried.
  // The lookup asks for automatic detection together with the script URL,
  // which Wine's WinHttpGetProxyForUrl refuses as an invalid parameter before
  // fetching anything; every attempt then ends without a proxy.
  const std::string script = server_.base("http") + "/pac?proxy=" + proxyAddress();
  SetUserProxySettings(proxyAddress(), script);
  HttpClient client(Utf8ToWide("http://" + unreachable_ + "/status?body=x"));
  EXPECT_FALSE(client.Request(L"GET"));
  EXPECT_EQ(client.lastError, static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(proxy_.Requests().empty());
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(HttpProxyTest, NoUserProxyLeavesTheSendError) {
  SetUserProxySettings("", "");
  HttpClient client(Utf8ToWide("http://" + unreachable_ + "/status?body=x"));
  EXPECT_FALSE(client.Request(L"GET"));
  EXPECT_EQ(client.lastError, static_cast<std::uint32_t>(ERROR_WINHTTP_CANNOT_CONNECT));
  EXPECT_TRUE(proxy_.Requests().empty());
}

}  // namespace
