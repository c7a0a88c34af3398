#include "base/utils.h"

#include <shellapi.h>

#include "base/Handles.h"

bool RunProgram(const std::wstring& file, const std::wstring& parameters, bool hidden, DWORD* exitCode) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = nullptr;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = hidden ? SW_HIDE : SW_SHOW;
  if (!ShellExecuteExW(&info)) return false;
  UniqueHandle process(info.hProcess);
  if (process && exitCode != nullptr) {
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.get(), &code)) *exitCode = code;
  }
  return true;
}
