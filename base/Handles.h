// Scope-bound owners of Windows handles, one kind each with its own invalid
// value. Move-only; get() lends the handle, release() gives up ownership,
// reset() closes what is held, put() closes it and offers the slot to an API
// that returns a handle through an out parameter.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

template <typename Traits>
class UniqueHandleOf {
 public:
  using Type = typename Traits::Type;

  UniqueHandleOf() = default;
  explicit UniqueHandleOf(Type handle) : handle_(handle) {}
  ~UniqueHandleOf() { reset(); }
  UniqueHandleOf(UniqueHandleOf&& other) noexcept : handle_(other.release()) {}
  UniqueHandleOf& operator=(UniqueHandleOf&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandleOf(const UniqueHandleOf&) = delete;
  UniqueHandleOf& operator=(const UniqueHandleOf&) = delete;

  Type get() const { return handle_; }
  bool valid() const { return handle_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  Type release() { return std::exchange(handle_, Traits::Invalid()); }
  void reset(Type handle = Traits::Invalid()) {
    const Type old = std::exchange(handle_, handle);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  Type* put() {
    reset();
    return &handle_;
  }

 private:
  Type handle_ = Traits::Invalid();
};

namespace handle_traits {

// CreateFileW and CreateToolhelp32Snapshot signal failure with INVALID_HANDLE_VALUE.
struct File {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};

// Processes, threads, events, mutexes: failure is NULL.
struct Kernel {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};

struct RegistryKey {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};

struct Find {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { FindClose(h); }
};

struct Module {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { FreeLibrary(h); }
};

}  // namespace handle_traits

using UniqueFile = UniqueHandleOf<handle_traits::File>;
using UniqueHandle = UniqueHandleOf<handle_traits::Kernel>;
using UniqueHKey = UniqueHandleOf<handle_traits::RegistryKey>;
using UniqueFind = UniqueHandleOf<handle_traits::Find>;
using UniqueModule = UniqueHandleOf<handle_traits::Module>;

// Owns one reference to a COM interface.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& other) noexcept : p_(other.release()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = other.release();
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  T* release() { return std::exchange(p_, nullptr); }
  void reset() {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }
  // For CoCreateInstance and QueryInterface: (IID_PPV_ARGS-style) out slot.
  void** put_void() {
    reset();
    return reinterpret_cast<void**>(&p_);
  }
  T** put() {
    reset();
    return &p_;
  }

  template <typename U>
  HRESULT As(ComPtr<U>& other) const {
    return p_ == nullptr ? E_POINTER : p_->QueryInterface(__uuidof(U), other.put_void());
  }

 private:
  T* p_ = nullptr;
};
