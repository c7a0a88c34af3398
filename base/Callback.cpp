#include "base/Callback.h"

#include <atomic>
#include <cstdio>

namespace minilib::detail {
namespace {

// A counter whose report runs at process exit, set up on its first use.
class LeakCounter {
 public:
  explicit LeakCounter(const char* className) : className_(className) {}
  ~LeakCounter() {
    const int live = count_.load();
    if (live > 0) {
      std::printf("*** Leaked objects detected: %d instance(s) of class %s\n", live, className_);
      std::fflush(stdout);
    }
  }
  void Add(int delta) { count_.fetch_add(delta, std::memory_order_relaxed); }
  int value() const { return count_.load(); }

 private:
  const char* className_;
  std::atomic<int> count_{0};
};

LeakCounter& Binders() {
  static LeakCounter counter("BinderBase");
  return counter;
}

LeakCounter& Callbacks() {
  static LeakCounter counter("CBChecker");
  return counter;
}

}  // namespace

void EnsureLeakCounters() {
  Binders();
  Callbacks();
}
void CountBinder(int delta) { Binders().Add(delta); }
void CountCallback(int delta) { Callbacks().Add(delta); }
int LiveBinders() { return Binders().value(); }
int LiveCallbacks() { return Callbacks().value(); }

}  // namespace minilib::detail
