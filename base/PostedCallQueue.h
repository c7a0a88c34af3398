// Hands calls from any thread back to a window's thread. Post appends the call
// and posts WM_POSTED_CALL to the window; the window's procedure answers each
// such message with RunOne, so exactly one call runs per message, in posting
// order, on the window thread.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

constexpr UINT WM_POSTED_CALL = WM_USER + 100;

class PostedCallQueue {
 public:
  PostedCallQueue() = default;
  PostedCallQueue(const PostedCallQueue&) = delete;
  PostedCallQueue& operator=(const PostedCallQueue&) = delete;

  // Window thread: the window that receives WM_POSTED_CALL from now on.
  void Attach(HWND window);
  // Window thread, when the window goes: calls still queued are dropped and
  // later posts are dropped too, so they never run.
  void Detach();

  // Any thread. The call must not be empty.
  void Post(std::function<void()> call);

  // Window thread, on WM_POSTED_CALL: runs the call at the front, if any.
  void RunOne();

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> calls_;
  HWND window_ = nullptr;
};
