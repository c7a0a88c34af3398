// Child program of the leak-report tests. "leak" ends with one callback
// alive; "queued" ends with a callback still queued on the stopped pool,
// which the pool releases at its teardown (no report).
#include <cstring>

#include "base/Callback.h"
#include "base/WorkerPool.h"

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "leak") == 0) {
    new minilib::Callback<void()>([] {});
  } else if (argc > 1 && std::strcmp(argv[1], "queued") == 0) {
    minilib::WorkerPool& pool = minilib::WorkerPool::Instance();
    pool.Stop();
    pool.Post(minilib::Callback<void()>([] {}));
  }
  return 0;
}
