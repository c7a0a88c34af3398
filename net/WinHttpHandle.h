// Scope-bound owners for what the network layer opens, on the shared holder
// of base/Handles.h: WinHTTP handles (closed with WinHttpCloseHandle) and the
// strings WinHTTP hands out (GlobalFree). Files use UniqueFile.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include "base/Handles.h"

namespace handle_traits {

struct WinHttp {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { WinHttpCloseHandle(h); }
};

// A string allocated by WinHTTP for the caller (proxy configuration and
// proxy information fields).
struct GlobalText {
  using Type = LPWSTR;
  static Type Invalid() { return nullptr; }
  static void Close(Type text) { GlobalFree(text); }
};

}  // namespace handle_traits

using WinHttpHandle = UniqueHandleOf<handle_traits::WinHttp>;
using GlobalString = UniqueHandleOf<handle_traits::GlobalText>;
