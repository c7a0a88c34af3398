// Helpers shared by the tests: scratch folders, child processes, file bytes,
// a real window thread for posted calls, and registry redirection.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/PostedCallQueue.h"

namespace testing_support {

// A fresh, empty folder of this test (under the prefix's temp folder), removed
// with everything in it when the object goes. path() ends without "\".
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Creates the folder (its parent must exist) and returns its path.
std::wstring MakeDirectory(const std::wstring& path);
// Creates the folder and every missing folder above it.
void MakeDirectoryTree(const std::wstring& path);

// Removes a folder tree (test cleanup only; failures are ignored).
void RemoveTree(const std::wstring& path);

std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);

// Folder of the running test executable (where the child programs are built).
std::wstring TestBinaryDir();

struct ChildResult {
  bool started = false;
  DWORD exitCode = 0;
  std::string output;  // standard output and standard error together
};

// Runs commandLine and waits at most timeout for it to end, collecting its
// output. extraEnvironment entries ("NAME" -> "value") are added to ours.
ChildResult RunChild(const std::wstring& commandLine,
                     const std::map<std::wstring, std::wstring>& extraEnvironment = {},
                     DWORD timeoutMs = 60000);

// A real message-only window on the thread that creates it, receiving
// WM_POSTED_CALL from its queue.
class TestWindow {
 public:
  TestWindow();
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  PostedCallQueue& queue() { return queue_; }

  // Pumps this thread's messages until done() holds or the timeout passes.
  // Returns done()'s last answer.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(20));

  // Destroys the native window now (the queue is detached first).
  void Destroy();

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  HWND hwnd_ = nullptr;
  PostedCallQueue queue_;
};

// Redirects HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER of this process onto
// fresh scratch keys under HKCU\Software\OrvoTests, and removes them again.
class RegistryOverride {
 public:
  RegistryOverride();
  ~RegistryOverride();
  RegistryOverride(const RegistryOverride&) = delete;
  RegistryOverride& operator=(const RegistryOverride&) = delete;

  // The scratch key names below HKCU (the real one) that stand in for the hives.
  const std::wstring& machineKey() const { return machine_; }
  const std::wstring& userKey() const { return user_; }

 private:
  std::wstring root_;
  std::wstring machine_;
  std::wstring user_;
  HKEY machineHandle_ = nullptr;
  HKEY userHandle_ = nullptr;
};

// Collects the lines this process logs while it lives, each as
// "[Level][tag][file][function] text" (UTF-8, no time or thread id).
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> Lines() const;
  bool Contains(const std::string& text) const;
  // Index of the first line containing text at or after `from`, or -1.
  int Find(const std::string& text, int from = 0) const;
  // The source line number the first line containing text was logged with, or -1.
  int SourceLineOf(const std::string& text) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::vector<int> sourceLines_;
};

}  // namespace testing_support
