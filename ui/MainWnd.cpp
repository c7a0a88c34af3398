#include "ui/MainWnd.h"

#include <utility>

#include "base/Handles.h"
#include "base/Log.h"
#include "config/GlobalConfig.h"
#include "report/DataReport.h"

LOG_SOURCE("MainWnd");

CMainWnd::~CMainWnd() { postedCalls_.Detach(); }

void CMainWnd::PostToWindowThread(std::function<void()> call) { postedCalls_.Post(std::move(call)); }

void CMainWnd::AttachWindowThread(HWND window) {
  if (window == nullptr) {
    postedCalls_.Detach();
  } else {
    postedCalls_.Attach(window);
  }
}

void CMainWnd::OnDownloadProgress(std::uint32_t /*percent*/, std::uint32_t speedKbps) {
  if (speedSamples_.size() < kMaxSpeedSamples) speedSamples_.push_back(speedKbps);
}

void CMainWnd::RecordDownloadAverageSpeed() {
  if (speedSamples_.empty()) return;
  std::uint32_t sum = 0;  // wraps, as the stored average always has
  for (const std::uint32_t sample : speedSamples_) sum += sample;
  const std::wstring path = std::wstring(kProductKey) + L"\\GameDownload";
  UniqueHKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                      nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    LOG_ERROR("Download") << "record average speed failed: can't open user reg path";
    return;
  }
  const DWORD average = sum / static_cast<std::uint32_t>(speedSamples_.size());
  RegSetValueExW(key.get(), L"DownloadSpeed", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&average), sizeof average);
  LOG_INFO("Download") << "record download average speed [" << average << " kb/s] success";
}

void CMainWnd::ShowErrorPage() { DataReport::Instance().SendEvent(1001, installOutcome_.load(), 0, 0); }

void CMainWnd::PostShowErrorPage() {
  PostToWindowThread([this] { ShowErrorPage(); });
}
