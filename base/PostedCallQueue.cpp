#include "base/PostedCallQueue.h"

#include <utility>

void PostedCallQueue::Attach(HWND window) {
  std::lock_guard<std::mutex> lock(mutex_);
  window_ = window;
}

void PostedCallQueue::Detach() {
  std::deque<std::function<void()>> dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  window_ = nullptr;
  dropped.swap(calls_);
}

void PostedCallQueue::Post(std::function<void()> call) {
  HWND window;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    window = window_;
    if (window == nullptr) return;
    calls_.push_back(std::move(call));
  }
  PostMessageW(window, WM_POSTED_CALL, 0, 0);
}

void PostedCallQueue::RunOne() {
  std::function<void()> call;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (calls_.empty()) return;
    call = std::move(calls_.front());
    calls_.pop_front();
  }
  call();
}
