#include "app/Entry.h"

#include <shlobj.h>

#include "ReportLibraryDigest.h"
#include "base/Log.h"
#include "base/utils.h"
#include "report/DataReport.h"
#include "report/ReportManager.h"

LOG_SOURCE("OrvoDownloader");

const wchar_t ReportLibraryMinVersion[] = L"6.4.1782.202";

namespace {

constexpr int kReportLibraryResource = 135;

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsRegularFileOrLink(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                      static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

const wchar_t ReportLibraryMd5[] = ORVO_REPORT_LIBRARY_MD5;

namespace {

std::wstring ReportLibraryPath() {
  const std::wstring dir = GetLocalAppDataFolder() + L"\\Quenlo\\Saffrel\\OrvoDownloader";
  // A folder that cannot be made leaves the library unloadable: the run goes
  // on with the HTTPS channel.
  if (!IsDirectory(dir)) SHCreateDirectoryExW(nullptr, dir.c_str(), nullptr);
  return dir + L"/dr.dll";
}


}  // namespace

bool IsReportLibraryCurrent(const std::wstring& path, const std::wstring& minVersion, const std::wstring& md5) {
  return IsRegularFileOrLink(path) && IsFileVersionAtLeast(path, minVersion) &&
         EqualsIgnoringCase(GetFileHexMd5(path), md5);
}

bool InitDataReport() {
  const std::wstring path = ReportLibraryPath();
  if (!IsReportLibraryCurrent(path, ReportLibraryMinVersion, ReportLibraryMd5)) {
    LOG_INFO("Main") << "dr.dll md5 is not equal or existed. release dr.dll to: " << path;
    ExtractResourceToFile(GetModuleHandleW(nullptr), kReportLibraryResource, path);
  }
  const bool loaded = OrvoReportMgr::CReportManager::Instance().Load(path);
  // The front starts with the library sender; without the library every
  // event goes over HTTPS from the worker pool instead.
  DataReport& front = DataReport::Instance();
  if (!loaded) front.SetSender(front.HttpSender());
  return loaded;
}

void ReleaseReportLibrary() { OrvoReportMgr::CReportManager::Instance().Release(); }
