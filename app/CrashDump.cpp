#include "app/Entry.h"

#include <dbghelp.h>

#include <ctime>

#include "base/utils.h"
#include "report/DataReport.h"

std::wstring CrashDumpPath(const std::wstring& localAppData, long long secondsSince1970) {
  return localAppData + L"\\downloader_dumps\\" + std::to_wstring(secondsSince1970) + L".dmp";
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
  DataReport::Instance().SendEvent(1002, 0, 0, 0);
  const std::wstring localAppData = GetLocalAppDataFolder();
  CreateDirectoryW((localAppData + L"\\downloader_dumps\\").c_str(), nullptr);
  UniqueFile file(CreateFileW(CrashDumpPath(localAppData, _time64(nullptr)).c_str(), GENERIC_WRITE, FILE_SHARE_WRITE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  MINIDUMP_EXCEPTION_INFORMATION exception{GetCurrentThreadId(), pointers, FALSE};
  MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file.get(), MiniDumpNormal, &exception, nullptr,
                    nullptr);
  return EXCEPTION_CONTINUE_SEARCH;
}
