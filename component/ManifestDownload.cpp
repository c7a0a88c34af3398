#include <windows.h>

#include <filesystem>
#include <string>

#include "BuildConfig.h"
#include "base/Handles.h"
#include "base/Log.h"
#include "base/TextConvert.h"
#include "net/HttpClient.h"
#include "ui/MainWnd.h"

LOG_SOURCE("component");

namespace {

// The manifest has the same name on both servers.
constexpr wchar_t kPrimaryPath[] = L"/downloads/xml/compoment.xml";
constexpr wchar_t kFallbackPath[] = L"/open/vela/xml/compoment.xml";

std::string HttpsUrl(const wchar_t* host, const wchar_t* path) {
  return "https://" + WideToUtf8(host) + WideToUtf8(path);
}

}  // namespace

std::wstring CMainWnd::DownloadComponentXml() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"OrvoDownload\\";
  std::error_code ignored;
  if (!std::filesystem::is_directory(folder, ignored)) std::filesystem::create_directories(folder);

  wchar_t file[MAX_PATH + 1] = {};
  if (GetTempFileNameW(folder.c_str(), L"", 0, file) == 0) {
    const DWORD error = GetLastError();
    LOG_ERROR("ComponentXml") << "get temp file failed. Error code: " << error;
    installOutcome_ = kOutcomeFileReadWrite;
    return {};
  }
  const std::wstring path = file;

  // Each source is tried once.
  HttpResult result;
  auto fetch = [&result](const std::string& url) {
    result = HttpGet(url, L"utf-8");
    if (IsHttpSuccess(result)) return true;
    const DWORD error = GetLastError();
    LOG_ERROR("ComponentXml") << "download component file use " << Utf8ToWide(url)
                              << " failed. http code: " << result.status << " error code: " << error;
    return false;
  };
  if (!fetch(HttpsUrl(ORVO_MANIFEST_HOST, kPrimaryPath)) && !fetch(HttpsUrl(ORVO_CONTENT_HOST, kFallbackPath))) {
    installOutcome_ = kOutcomeManifestDownload;
    return {};
  }

  // Written as received; the parser reads the bytes and detects the encoding.
  // A failed write leaves a short file, which the parser then rejects.
  UniqueFile out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (out) {
    DWORD written = 0;
    WriteFile(out.get(), result.body.data(), static_cast<DWORD>(result.body.size()), &written, nullptr);
  }
  LOG_INFO("ComponentXml") << "download component xml success. file path: " << path;
  return path;
}
