#include "app/Entry.h"

#include "base/Log.h"

LOG_SOURCE("OrvoDownloader");

namespace {
constexpr wchar_t kMutexName[] = L"{0C196968-D540-49D0-A765-8F113FBECF04}_OrvoDownloader";
}  // namespace

std::wstring AppendSessionId(const std::wstring& base) {
  DWORD session = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &session);
  return base + L"_" + std::to_wstring(session);
}

bool CheckSingleton(UniqueHandle& holder) {
  const std::wstring name = AppendSessionId(kMutexName);
  UniqueHandle existing(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name.c_str()));
  if (existing) return false;  // another instance of this session owns the name
  if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;  // it exists but cannot be opened

  holder.reset(CreateMutexW(nullptr, FALSE, name.c_str()));
  const DWORD error = GetLastError();
  if (!holder) LOG_ERROR("Main") << "Create singleton mutex " << name << " failed. error code: " << error;
  // Two instances that start together both miss the open; the later create
  // then finds the name taken.
  return error != ERROR_ALREADY_EXISTS;
}
