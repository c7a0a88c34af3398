#include <windows.h>

#include <filesystem>
#include <string>

#include "base/Log.h"
#include "base/utils.h"
#include "component/InstallRules.h"
#include "config/GlobalConfig.h"
#include "net/FileDownloader.h"
#include "report/DataReport.h"
#include "ui/MainWnd.h"

LOG_SOURCE("component");

namespace {

constexpr wchar_t kUserAgent[] = L"OrvoDownloader/1.0";

void CreateFolderTree(const std::wstring& folder) {
  std::error_code ignored;
  if (!std::filesystem::is_directory(folder, ignored)) std::filesystem::create_directories(folder);
}

}  // namespace

bool CMainWnd::DownloadComponent() {
  DataReport& report = DataReport::Instance();
  for (ComponentItem& item : installList_) {
    item.downloadDir = ComponentDownloadDir(config_.tempPath, item.localaddpath);
    CreateFolderTree(item.downloadDir);
    const std::wstring localPath = item.downloadDir + item.name;

    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (GetFileAttributesExW(localPath.c_str(), GetFileExInfoStandard, &attributes)) {
      if (DigestMatches(GetFileHexMd5(localPath), item.hash)) {
        LOG_INFO("Component") << item.name << " is existed. path: " << localPath;
        item.localFile = localPath;
        continue;
      }
      DeleteFileW(localPath.c_str());
    }

    // The samples are the window thread's: the reset is posted behind the
    // (0, 0) progress, so that zero never counts in this file's average, and
    // ahead of every progress of this file.
    PostToWindowThread([this] { OnDownloadProgress(0, 0); });
    PostToWindowThread([this] { speedSamples_.clear(); });
    report.SendEvent(201, 0, item.id, 0);
    LOG_INFO("Component") << "start download component name: " << item.name << " url:[" << item.url
                          << "] localPath:[" << localPath << "]";

    const DownloadResult result = DownloadFile(
        item.url, localPath,
        [this](std::uint32_t percent, std::uint32_t speed) {
          PostToWindowThread([this, percent, speed] { OnDownloadProgress(percent, speed); });
        },
        kUserAgent);
    if (!result.ok) {
      const auto errorCode = static_cast<std::int32_t>(result.errorCode);
      LOG_ERROR("Component") << "download component: " << item.name << " failed. error type: " << result.errorType
                             << " error code: " << errorCode;
      installOutcome_ = result.errorType;
      report.SendEvent(202, result.errorType, item.id, errorCode);
      return false;
    }
    report.SendEvent(203, 0, item.id, 0);
    LOG_INFO("Component") << "download component name:" << item.name << " success localPath:[" << localPath << "]";
    PostToWindowThread([this] { RecordDownloadAverageSpeed(); });

    const std::wstring digest = GetFileHexMd5(localPath);
    LOG_INFO("Component") << "local component file " << item.name << " md5: " << digest;
    if (!DigestMatches(digest, item.hash)) {
      LOG_ERROR("Component") << "local component file md5 check failed. local md5: " << digest
                             << " server md5: " << item.hash;
      installOutcome_ = kOutcomeDigestMismatch;
      report.SendEvent(202, kOutcomeDigestMismatch, item.id, 0);
      return false;
    }
    item.localFile = localPath;
  }
  PostToWindowThread([this] { SetProgressValue(100); });
  return true;
}
