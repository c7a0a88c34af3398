// One-shot HTTP and HTTPS requests (GET or POST) over WinHTTP with the whole
// response kept in memory. A request makes up to three attempts on one
// request handle, falls back to the current user's Internet Explorer proxy
// settings when a send fails, ignores certificate errors for HTTPS (unless
// strictCertificates is set) and fetches a GET again when an HTML page
// arrived without its closing tag. Nothing here logs: callers do.
//
// Use: build, set the inputs, call Request once, read the outputs, destroy.
// One thread at a time; all calls are synchronous.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/WinHttpHandle.h"

class HttpClient {
 public:
  using ProgressCallback = void (*)(double percent);

  explicit HttpClient(std::wstring url);
  ~HttpClient() = default;
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // method is "GET" or "POST" in any case and is sent as given. True when a
  // response arrived and its body was decoded (for a GET, and it passed the
  // HTML check); false with the reason in lastError: 3 (no URL), 87 (another
  // method), 13 (a page without "</html>" three times), or the Windows error
  // code of the last failed call. A URL that can't be split or a handle that
  // can't be opened gives false and leaves lastError as it was.
  bool Request(std::wstring_view method);

  const std::wstring& GetStatusText() const { return statusText; }
  const std::wstring& GetResponseText() const { return responseText; }

  // Copies bytes into requestBody / requestBodyLength.
  void SetRequestBody(std::string_view bytes);

  // Fields: inputs are set before Request, outputs read after it.
  WinHttpHandle sessionHandle;       // opened on first use, closed with the object
  bool strictCertificates = false;   // refuse certificate errors on HTTPS
  std::wstring url;                  // full URL, query string included
  std::wstring hostName;             // out: host of the URL
  std::wstring responseHeaders;      // out: raw header block, CR LF lines
  std::wstring responseText;         // out: the decoded body
  std::wstring charset;              // in/out: preset default, replaced by the response's
  std::unique_ptr<unsigned char[]> rawBody;  // out: body bytes and a terminating zero
  std::uint32_t rawBodyLength = 0;   // out: valid bytes in rawBody
  ProgressCallback progressCallback = nullptr;  // in: percent of Content-Length read
  std::int32_t contentLength = 0;    // out: Content-Length, 0 when absent
  std::wstring receivedCookies;      // out: Set-Cookie values, "; " joined, ";" ended
  std::wstring cookie;               // in: sent as "Cookie: " + cookie
  std::unique_ptr<unsigned char[]> requestBody;  // in: written after the send
  std::uint32_t requestBodyLength = 0;
  std::wstring extraHeaders;         // in: header lines, each ended by CR LF
  std::wstring proxyServer;          // in: fixed proxy (at most 259 characters used)
  std::uint32_t lastError = 0;       // out
  std::wstring statusText;           // out: status code as text, e.g. "200"
  std::wstring userAgent = L"OrvoDownloader";
  bool keepCharset = false;          // in: don't let the response replace charset
  std::wstring proxyUserName;
  std::wstring proxyPassword;
  std::wstring location;             // out: digits after "Location: "
  std::int32_t resolveTimeout = 0;   // milliseconds; 0 = no limit
  std::int32_t connectTimeout = 60000;
  std::int32_t sendTimeout = 30000;
  std::int32_t receiveTimeout = 30000;

 private:
  enum class BodyRead { kOk, kNoBuffer, kGrowthFailed };

  // After a failed send: true when the request was sent again through the
  // proxy that the user's script names; false when the attempt ends (a fixed
  // proxy from the settings is then set for the next attempt).
  bool SendThroughUserProxy(HINTERNET request);
  void ReadResponseHeaders(HINTERNET request);
  BodyRead ReadBody(HINTERNET request);
  void DecodeBody();
  void ReportProgress(std::uint32_t bytesRead) const;
};

// What HttpGet and HttpPost return. status is the decimal value of the status
// text and body the decoded body in UTF-8; both only when ok.
struct HttpResult {
  bool ok = false;
  std::int32_t status = 0;
  std::string body;
};

// GET of a UTF-8 URL; defaultCharset decodes the body unless the response
// names another charset.
HttpResult HttpGet(std::string_view url, std::wstring_view defaultCharset);

// POST of body with Content-Length and Content-Type headers.
HttpResult HttpPost(std::string_view url, std::string_view body, std::string_view contentType);

// The success test of both callers: ok, a status below 400 and a non-empty body.
bool IsHttpSuccess(const HttpResult& result);
