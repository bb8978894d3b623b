// Helpers for threaded tests of the engine's locks: waiting on a lock state by
// spinning (no sleeps, with a deadline), and a thread that runs steps on
// request so a test can decide exactly when each thread acquires or releases.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "common/test_sync.h"
#include "engine/rw_lock.h"

namespace dizora::test {

// Spins until `done`. A lock that never lets it happen leaves threads stuck in
// it, which the test cannot unwind: past the deadline the program ends.
template <typename Pred>
void SpinUntil(Pred done) {
  dz_test::AwaitOrExit(done, "a thread never reached the awaited lock state");
}

// A thread that runs the steps posted to it, one after another. Post returns
// at once; Done() tells whether every step posted so far has finished.
class Worker {
 public:
  Worker() : thread_([this] { Loop(); }) {}
  ~Worker() {
    Post(nullptr);
    thread_.join();
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  void Post(std::function<void()> step) {
    std::lock_guard lock(mutex_);
    posted_.fetch_add(1);
    steps_.push_back(std::move(step));
    cv_.notify_one();
  }
  bool Done() const { return finished_.load() == posted_.load(); }
  void WaitDone() const { SpinUntil([this] { return Done(); }); }
  // Posts a step and waits for it to finish.
  void Run(std::function<void()> step) {
    Post(std::move(step));
    WaitDone();
  }
  uint32_t Id() {
    std::atomic<uint32_t> id{0};
    Run([&] { id.store(platform::CurrentThreadId()); });
    return id.load();
  }

 private:
  void Loop() {
    for (;;) {
      std::function<void()> step;
      {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return !steps_.empty(); });
        step = std::move(steps_.front());
        steps_.pop_front();
      }
      if (!step) return;
      step();
      finished_.fetch_add(1);
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> steps_;
  std::atomic<int> posted_{0};
  std::atomic<int> finished_{0};
  std::thread thread_;
};

}  // namespace dizora::test
