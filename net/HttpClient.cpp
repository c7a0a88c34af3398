#include "net/HttpClient.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <iterator>
#include <new>
#include <vector>

#include "base/TextConvert.h"
#include "net/HttpHeaderParsing.h"

namespace {

constexpr DWORD kErrorNoUrl = 3;
constexpr DWORD kErrorBadMethod = 87;
constexpr DWORD kErrorHtmlIncomplete = 13;
constexpr int kAttempts = 3;
constexpr DWORD kIgnoreCertificateErrors =
    SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
constexpr size_t kInitialBodyBuffer = 10240;
constexpr size_t kProxyBufferChars = 260;

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (towlower(a[i]) != towlower(b[i])) return false;
  }
  return true;
}

// Copies text into a fixed buffer of kProxyBufferChars, cut short if longer.
void CopyToProxyBuffer(const wchar_t* text, wchar_t (&buffer)[kProxyBufferChars]) {
  const size_t n = text != nullptr ? std::min(wcslen(text), kProxyBufferChars - 1) : 0;
  if (n > 0) std::memcpy(buffer, text, n * sizeof(wchar_t));
  buffer[n] = L'\0';
}

std::wstring QueryHeaderString(HINTERNET request, DWORD query, bool* ok) {
  DWORD size = 0;
  *ok = false;
  WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  *ok = true;
  return std::wstring(buffer.data(), size / sizeof(wchar_t));
}

HttpResult ResultOf(HttpClient& client, bool ok) {
  HttpResult result;
  result.ok = ok;
  if (ok) {
    result.status = ParseDecimal(client.GetStatusText());
    result.body = WideToUtf8(client.GetResponseText());
  }
  return result;
}

}  // namespace

HttpClient::HttpClient(std::wstring requestUrl) : url(std::move(requestUrl)) {}

void HttpClient::SetRequestBody(std::string_view bytes) {
  requestBody.reset(new unsigned char[bytes.size() + 1]());
  if (!bytes.empty()) std::memcpy(requestBody.get(), bytes.data(), bytes.size());
  requestBodyLength = static_cast<std::uint32_t>(bytes.size());
}

bool HttpClient::Request(std::wstring_view method) {
  if (url.empty()) {
    lastError = kErrorNoUrl;
    return false;
  }
  const bool isGet = EqualsNoCase(method, L"GET");
  if (!isGet && !EqualsNoCase(method, L"POST")) {
    lastError = kErrorBadMethod;
    return false;
  }
  const std::wstring verb(method);

  if (!sessionHandle) {
    sessionHandle.reset(WinHttpOpen(userAgent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0));
    if (!sessionHandle) {
      lastError = GetLastError();
      return false;
    }
    WinHttpSetTimeouts(sessionHandle.get(), resolveTimeout, connectTimeout, sendTimeout, receiveTimeout);
  }

  // The extra-information part is not asked for separately, so the object
  // path keeps the query string.
  wchar_t host[260] = {};
  wchar_t path[1300] = {};
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = static_cast<DWORD>(std::size(path));
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;
  hostName = host;
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

  WinHttpHandle connection(WinHttpConnect(sessionHandle.get(), host, parts.nPort, 0));
  if (!connection) return false;
  WinHttpHandle request(WinHttpOpenRequest(connection.get(), verb.c_str(), path, nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return false;

  if (secure && !strictCertificates) {
    DWORD flags = kIgnoreCertificateErrors;
    if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags)) {
      lastError = GetLastError();
    }
  }

  bool succeeded = false;
  bool bodyBufferFailed = false;
  for (int attempt = 0; attempt < kAttempts && !succeeded; ++attempt) {
    if (!extraHeaders.empty() &&
        !WinHttpAddRequestHeaders(request.get(), extraHeaders.c_str(), static_cast<DWORD>(-1),
                                  WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON)) {
      lastError = GetLastError();
    }
    if (!cookie.empty()) {
      const std::wstring header = L"Cookie: " + cookie;
      if (!WinHttpAddRequestHeaders(request.get(), header.c_str(), static_cast<DWORD>(-1),
                                    WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON)) {
        lastError = GetLastError();
      }
    }
    if (!proxyServer.empty()) {
      wchar_t server[kProxyBufferChars];
      CopyToProxyBuffer(proxyServer.c_str(), server);
      WINHTTP_PROXY_INFO proxy{WINHTTP_ACCESS_TYPE_NAMED_PROXY, server, nullptr};
      if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY, &proxy, sizeof proxy)) lastError = GetLastError();
      if (!proxyUserName.empty()) {
        if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY_USERNAME, proxyUserName.data(),
                              static_cast<DWORD>(proxyUserName.size()))) {
          lastError = GetLastError();
        }
        if (!proxyPassword.empty() &&
            !WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY_PASSWORD, proxyPassword.data(),
                              static_cast<DWORD>(proxyPassword.size()))) {
          lastError = GetLastError();
        }
      }
    }

    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
      lastError = GetLastError();
      if (!SendThroughUserProxy(request.get())) continue;
    }
    if (requestBody) {
      DWORD written = 0;
      if (!WinHttpWriteData(request.get(), requestBody.get(), requestBodyLength, &written)) lastError = GetLastError();
    }
    if (!WinHttpReceiveResponse(request.get(), nullptr)) {
      lastError = GetLastError();
      continue;
    }

    ReadResponseHeaders(request.get());
    const BodyRead read = ReadBody(request.get());
    if (read == BodyRead::kNoBuffer) break;
    if (read == BodyRead::kGrowthFailed) bodyBufferFailed = true;
    DecodeBody();

    if (isGet && ContainsHtmlOpenTag(responseText) && !ContainsHtmlCloseTag(responseText)) {
      lastError = kErrorHtmlIncomplete;
      continue;
    }
    succeeded = true;
  }
  // The request handle closes before the connection (reverse declaration order).
  return succeeded && !bodyBufferFailed;
}

bool HttpClient::SendThroughUserProxy(HINTERNET request) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) {
    lastError = GetLastError();
    return false;
  }
  const GlobalString scriptUrl(config.lpszAutoConfigUrl);
  const GlobalString fixedProxy(config.lpszProxy);
  const GlobalString fixedBypass(config.lpszProxyBypass);

  if (scriptUrl.get() != nullptr && *scriptUrl.get() != L'\0') {
    WINHTTP_AUTOPROXY_OPTIONS options{};
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT | WINHTTP_AUTOPROXY_CONFIG_URL;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP;
    options.lpszAutoConfigUrl = scriptUrl.get();
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    if (!WinHttpGetProxyForUrl(sessionHandle.get(), url.c_str(), &options, &info)) {
      lastError = GetLastError();
      return false;
    }
    const GlobalString proxy(info.lpszProxy);
    const GlobalString bypass(info.lpszProxyBypass);
    if (!WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof info)) {
      lastError = GetLastError();
      return false;
    }
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, requestBodyLength,
                            0)) {
      lastError = GetLastError();
      return false;
    }
    return true;
  }
  if (fixedProxy.get() != nullptr && *fixedProxy.get() != L'\0') {
    wchar_t server[kProxyBufferChars];
    wchar_t bypass[kProxyBufferChars];
    CopyToProxyBuffer(fixedProxy.get(), server);
    CopyToProxyBuffer(fixedBypass.get(), bypass);
    WINHTTP_PROXY_INFO proxy{WINHTTP_ACCESS_TYPE_NAMED_PROXY, server, bypass[0] != L'\0' ? bypass : nullptr};
    if (!WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &proxy, sizeof proxy)) lastError = GetLastError();
  }
  return false;
}

void HttpClient::ReadResponseHeaders(HINTERNET request) {
  bool ok = false;
  std::wstring headers = QueryHeaderString(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, &ok);
  if (ok) {
    responseHeaders = std::move(headers);
    if (!keepCharset) {
      if (auto found = MatchCharset(responseHeaders)) charset = std::move(*found);
    }
    if (auto found = MatchContentLength(responseHeaders)) contentLength = ParseDecimal(*found);
    if (auto found = MatchLocation(responseHeaders)) location = std::move(*found);
    receivedCookies = JoinReceivedCookies(receivedCookies, MatchSetCookies(responseHeaders));
  }
  std::wstring status = QueryHeaderString(request, WINHTTP_QUERY_STATUS_CODE, &ok);
  if (ok) statusText = std::move(status);
}

HttpClient::BodyRead HttpClient::ReadBody(HINTERNET request) {
  rawBody.reset();
  rawBodyLength = 0;
  size_t capacity = kInitialBodyBuffer;
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[capacity]());
  if (!buffer) return BodyRead::kNoBuffer;

  BodyRead outcome = BodyRead::kOk;
  size_t length = 0;
  DWORD available = 0;
  do {
    if (!WinHttpQueryDataAvailable(request, &available)) {
      lastError = GetLastError();
      break;
    }
    ReportProgress(static_cast<std::uint32_t>(length));
    std::unique_ptr<unsigned char[]> chunk(new (std::nothrow) unsigned char[size_t{available} + 1]());
    if (!chunk) {
      outcome = BodyRead::kGrowthFailed;
      break;
    }
    DWORD read = 0;
    if (available > 0 && !WinHttpReadData(request, chunk.get(), available, &read)) {
      lastError = GetLastError();
      break;
    }
    // Room is kept for a terminating zero after the body: the decoder reads
    // one byte past it.
    if (length + read + 1 > capacity) {
      size_t grown = capacity;
      while (length + read + 1 > grown) grown *= 2;
      std::unique_ptr<unsigned char[]> bigger(new (std::nothrow) unsigned char[grown]());
      if (!bigger) {
        outcome = BodyRead::kGrowthFailed;
        break;
      }
      std::memcpy(bigger.get(), buffer.get(), length);
      buffer = std::move(bigger);
      capacity = grown;
    }
    std::memcpy(buffer.get() + length, chunk.get(), read);
    length += read;
  } while (available != 0);
  ReportProgress(static_cast<std::uint32_t>(length));
  rawBody = std::move(buffer);
  rawBodyLength = static_cast<std::uint32_t>(length);
  return outcome;
}

void HttpClient::DecodeBody() {
  if (!rawBody) return;
  UINT codePage = CP_UTF8;
  DWORD flags = 0;
  if (!IsUtf8Charset(charset)) {
    codePage = CP_ACP;
    flags = MB_PRECOMPOSED;
  }
  const char* bytes = reinterpret_cast<const char*>(rawBody.get());
  const int inputLength = static_cast<int>(rawBodyLength) + 1;
  int needed = MultiByteToWideChar(codePage, flags, bytes, inputLength, nullptr, 0);
  if (needed < 1) {
    codePage = CP_ACP;
    flags = MB_PRECOMPOSED;
    needed = MultiByteToWideChar(codePage, flags, bytes, inputLength, nullptr, 0);
    if (needed < 1) return;
  }
  std::vector<wchar_t> text(static_cast<size_t>(needed) + 1, L'\0');
  MultiByteToWideChar(codePage, flags, bytes, inputLength, text.data(), needed);
  responseText = text.data();  // up to the first zero
}

void HttpClient::ReportProgress(std::uint32_t bytesRead) const {
  if (progressCallback == nullptr || contentLength == 0) return;
  progressCallback(static_cast<double>(bytesRead) * 100.0 / static_cast<double>(static_cast<std::uint32_t>(contentLength)));
}

HttpResult HttpGet(std::string_view url, std::wstring_view defaultCharset) {
  HttpClient client(Utf8ToWide(url));
  client.charset = std::wstring(defaultCharset);
  const bool ok = client.Request(L"GET");
  return ResultOf(client, ok);
}

HttpResult HttpPost(std::string_view url, std::string_view body, std::string_view contentType) {
  HttpClient client(Utf8ToWide(url));
  client.SetRequestBody(body);
  client.extraHeaders = L"Content-Length: " + std::to_wstring(body.size()) + L"\r\nContent-Type: " +
                        Utf8ToWide(contentType) + L"\r\n";
  const bool ok = client.Request(L"POST");
  return ResultOf(client, ok);
}

bool IsHttpSuccess(const HttpResult& result) { return result.ok && result.status < 400 && !result.body.empty(); }
