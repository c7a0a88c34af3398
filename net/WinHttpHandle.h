// Scope-bound owners for the handles the network layer opens: WinHTTP
// handles (closed with WinHttpCloseHandle), file handles (CloseHandle, invalid
// value INVALID_HANDLE_VALUE) and strings WinHTTP hands out (GlobalFree).
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <utility>

class WinHttpHandle {
 public:
  WinHttpHandle() = default;
  explicit WinHttpHandle(HINTERNET handle) : handle_(handle) {}
  ~WinHttpHandle() { reset(); }
  WinHttpHandle(WinHttpHandle&& other) noexcept : handle_(other.release()) {}
  WinHttpHandle& operator=(WinHttpHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  WinHttpHandle(const WinHttpHandle&) = delete;
  WinHttpHandle& operator=(const WinHttpHandle&) = delete;

  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  HINTERNET release() { return std::exchange(handle_, nullptr); }
  void reset(HINTERNET handle = nullptr) {
    if (handle_ != nullptr) WinHttpCloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HINTERNET handle_ = nullptr;
};

class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { reset(); }
  FileHandle(FileHandle&& other) noexcept : handle_(other.release()) {}
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A string allocated by WinHTTP for the caller (proxy configuration and
// proxy information fields).
class GlobalString {
 public:
  explicit GlobalString(LPWSTR text) : text_(text) {}
  ~GlobalString() {
    if (text_ != nullptr) GlobalFree(text_);
  }
  GlobalString(const GlobalString&) = delete;
  GlobalString& operator=(const GlobalString&) = delete;

  LPWSTR get() const { return text_; }

 private:
  LPWSTR text_;
};
