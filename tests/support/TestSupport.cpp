#include "tests/support/TestSupport.h"

#include "base/Log.h"
#include "base/TextConvert.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace testing_support {
namespace {

std::atomic<unsigned> g_counter{0};

std::wstring UniqueName(const wchar_t* prefix) {
  return std::wstring(prefix) + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(g_counter.fetch_add(1));
}

}  // namespace

ScratchDir::ScratchDir() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  path_ = std::wstring(temp, n) + UniqueName(L"orvo-test-");
  CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

std::wstring MakeDirectory(const std::wstring& path) {
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

void MakeDirectoryTree(const std::wstring& path) {
  for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(path.c_str(), nullptr);
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      const bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !isLink) {
        RemoveTree(child);
      } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveDirectoryW(child.c_str());
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(h, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(h);
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring TestBinaryDir() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.rfind(L'\\'));
}

ChildResult RunChild(const std::wstring& commandLine, const std::map<std::wstring, std::wstring>& extraEnvironment,
                     DWORD timeoutMs) {
  ChildResult result;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  // Environment block: ours with the extra entries replacing or adding.
  std::map<std::wstring, std::wstring> env;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1) {
      const std::wstring entry = p;
      const auto eq = entry.find(L'=', 1);
      if (eq != std::wstring::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : extraEnvironment) env[name] = value;
  std::wstring envBlock;
  for (const auto& [name, value] : env) envBlock += name + L"=" + value + L'\0';
  envBlock += L'\0';

  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  PROCESS_INFORMATION pi{};
  std::wstring cmd = commandLine;
  result.started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                  envBlock.data(), nullptr, &si, &pi) != FALSE;
  CloseHandle(writeEnd);
  if (!result.started) {
    CloseHandle(readEnd);
    return result;
  }
  std::thread reader([&] {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) result.output.append(buffer, read);
  });
  if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 0xDEAD);
  WaitForSingleObject(pi.hProcess, INFINITE);
  GetExitCodeProcess(pi.hProcess, &result.exitCode);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  reader.join();
  CloseHandle(readEnd);
  return result;
}

// ---- TestWindow ----

TestWindow::TestWindow() {
  static const wchar_t kClass[] = L"OrvoTestWindow";
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &TestWindow::WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClass;
  RegisterClassExW(&wc);  // fails harmlessly when already registered
  hwnd_ = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
  queue_.Attach(hwnd_);
}

TestWindow::~TestWindow() { Destroy(); }

void TestWindow::Destroy() {
  queue_.Detach();
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  hwnd_ = nullptr;
}

LRESULT CALLBACK TestWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_POSTED_CALL && self != nullptr) {
    self->queue_.RunOne();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool TestWindow::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return done();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<long long>(left.count(), 50)),
                              QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return true;
}

// ---- RegistryOverride ----

RegistryOverride::RegistryOverride() {
  root_ = L"Software\\OrvoTests\\" + UniqueName(L"reg-");
  machine_ = root_ + L"\\HKLM";
  user_ = root_ + L"\\HKCU";
  RegCreateKeyExW(HKEY_CURRENT_USER, machine_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &machineHandle_,
                  nullptr);
  RegCreateKeyExW(HKEY_CURRENT_USER, user_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &userHandle_, nullptr);
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, machineHandle_);
  RegOverridePredefKey(HKEY_CURRENT_USER, userHandle_);
}

RegistryOverride::~RegistryOverride() {
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  if (machineHandle_ != nullptr) RegCloseKey(machineHandle_);
  if (userHandle_ != nullptr) RegCloseKey(userHandle_);
  RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str());
}

// ---- LogCapture ----

LogCapture::LogCapture() {
  Logger::Instance().SetObserverForTesting([this](const LogRecord& record) {
    static const char* const kLevels[] = {"Debug", "Info", "Warn", "Error"};
    std::string line = std::string("[") + kLevels[record.level] + "][" + record.tag + "][" + record.file + "][" +
                       record.function + "] " + WideToUtf8(record.text);
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(std::move(line));
    sourceLines_.push_back(record.line);
  });
}

LogCapture::~LogCapture() { Logger::Instance().SetObserverForTesting({}); }

std::vector<std::string> LogCapture::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

bool LogCapture::Contains(const std::string& text) const { return Find(text) >= 0; }

int LogCapture::SourceLineOf(const std::string& text) const {
  const int index = Find(text);
  std::lock_guard<std::mutex> lock(mutex_);
  return index < 0 ? -1 : sourceLines_[static_cast<size_t>(index)];
}

int LogCapture::Find(const std::string& text, int from) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = static_cast<size_t>(std::max(from, 0)); i < lines_.size(); ++i) {
    if (lines_[i].find(text) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace testing_support
