// Process entry of OrvoDownloader. The command line is never read.
#include <windows.h>

#include "app/Entry.h"
#include "base/Log.h"
#include "base/WorkerPool.h"
#include "config/GlobalConfig.h"

LOG_SOURCE("OrvoDownloader");

namespace {
HINSTANCE g_toolkitInstance = nullptr;
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR /*commandLine*/, int /*show*/) {
  LOG_INFO("Main") << "OrvoDownload Start.";
  g_toolkitInstance = instance;
  InitDataReport();
  SetUnhandledExceptionFilter(&OnUnhandledException);
  const GlobalConfig& config = GlobalConfig::Instance();

  UniqueHandle singleton;
  if (!CheckSingleton(singleton)) {
    LOG_INFO("Main") << "OrvoDownloader only run one instance";
    return 0;
  }

  // Any value but 1 shows the installer window.
  RunInstallerWindow(g_toolkitInstance, config.silentMode == 1);

  LOG_INFO("Main") << "OrvoDownload End.";
  minilib::WorkerPool::Instance().Stop();
  ReleaseReportLibrary();
  return 0;
}
