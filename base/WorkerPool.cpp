#include "base/WorkerPool.h"

#include <algorithm>
#include <utility>

namespace minilib {
namespace {
// The pool whose worker is running on this thread, if any.
thread_local const WorkerPool* t_workerOf = nullptr;
}  // namespace

WorkerPool& WorkerPool::Instance() {
  // The leak counters must outlive the pool: its queued calls are released
  // at its teardown, before the counters report.
  detail::EnsureLeakCounters();
  static WorkerPool pool;
  static const bool started = (pool.Start(WorkerCountFor(std::thread::hardware_concurrency())), true);
  (void)started;
  return pool;
}

WorkerPool::~WorkerPool() {
  Stop();
  queue_.Stop();
  queue_.Clear();
}

void WorkerPool::Post(const Callback<void()>& callback) {
  queue_.Push([callback] { callback(); });
}

void WorkerPool::Start(unsigned n) {
  std::lock_guard<std::mutex> state(stateMutex_);
  if (running_.load()) return;
  running_.store(true);
  queue_.Restart();
  const unsigned count = std::max(n, 1u);
  threads_.reserve(count);
  for (unsigned i = 0; i < count; ++i) threads_.emplace_back([this] { WorkerMain(); });
}

bool WorkerPool::Stop() {
  // Tested before the state lock: a Stop in progress holds it while joining us.
  if (t_workerOf == this) return false;
  std::lock_guard<std::mutex> state(stateMutex_);
  if (!running_.load()) return true;
  running_.store(false);
  queue_.Stop();
  for (auto& thread : threads_) thread.join();
  threads_.clear();
  return true;
}

void WorkerPool::WorkerMain() {
  t_workerOf = this;
  for (;;) {
    std::function<void()> call;
    if (queue_.Pop(call)) call();
    if (!running_.load()) return;
  }
}

void WorkerPool::TaskQueue::Push(std::function<void()> call) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
  }
  ready_.notify_one();
}

bool WorkerPool::TaskQueue::Pop(std::function<void()>& call) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (stopped_) return false;
    if (!calls_.empty()) {
      call = std::move(calls_.front());
      calls_.pop_front();
      return true;
    }
    ready_.wait(lock);
  }
}

void WorkerPool::TaskQueue::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  ready_.notify_all();
}

void WorkerPool::TaskQueue::Restart() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = false;
}

void WorkerPool::TaskQueue::Clear() {
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls.swap(calls_);
  }
}

}  // namespace minilib
