// A fixed pool of worker threads fed from one first-in-first-out queue of
// bound calls. Post from any thread; Start and Stop from a thread that is not
// one of the pool's workers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Callback.h"

namespace minilib {

class WorkerPool {
 public:
  // The process's pool, created and started on first use with one worker per
  // hardware thread (at least one); stopped again at process exit.
  static WorkerPool& Instance();

  WorkerPool() = default;
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Queues the call; a worker runs it once. Never refuses: a call posted while
  // the pool is stopped stays queued and runs only after a later Start.
  void Post(const Callback<void()>& callback);

  // Starts n workers (at least one). Does nothing when already running.
  void Start(unsigned n);

  // Lets running calls finish, joins every worker and drops the threads;
  // queued calls stay unrun. Does nothing when not running, and refuses
  // (returns false) when called from one of the pool's own workers, which
  // could never join itself.
  bool Stop();

  bool running() const { return running_.load(); }

  // Number of workers that Instance() starts for a reported hardware count.
  static unsigned WorkerCountFor(unsigned hardwareThreads) { return hardwareThreads == 0 ? 1 : hardwareThreads; }

 private:
  class TaskQueue {
   public:
    void Push(std::function<void()> call);
    bool Pop(std::function<void()>& call);  // false once stopped
    void Stop();
    void Restart();
    void Clear();

   private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> calls_;
    bool stopped_ = false;
  };

  void WorkerMain();

  std::vector<std::thread> threads_;
  TaskQueue queue_;
  std::mutex stateMutex_;
  std::atomic<bool> running_{false};
};

}  // namespace minilib
