// Process entry of OrvoDownloader.
#include <windows.h>

#include "base/Log.h"
#include "base/WorkerPool.h"

LOG_SOURCE("OrvoDownloader");

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPWSTR /*commandLine*/, int /*show*/) {
  LOG_INFO("Main") << "OrvoDownload Start.";
  LOG_INFO("Main") << "OrvoDownload End.";
  minilib::WorkerPool::Instance().Stop();
  return 0;
}
