// Synchronisation for threaded tests, on every platform the suites run on.
// The barrier is a mutex and a condition variable: the std::barrier and
// std::latch of MinGW GCC 12 now and then lose a wake-up under Wine. Every
// wait gives up at a deadline, so a regression fails the test instead of
// hanging the suite until its time-out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace dz_test {

// Far beyond any healthy wait, under ThreadSanitizer or Wine too: only a hang
// reaches it.
inline constexpr std::chrono::seconds kHangLimit{120};

// `count` threads meet: ArriveAndWait returns once all of them have arrived,
// phase after phase (used once, it is a latch). False when the limit passed
// before the others came.
class Barrier {
 public:
  explicit Barrier(int count) : count_(count) {}
  Barrier(const Barrier&) = delete;
  Barrier& operator=(const Barrier&) = delete;

  [[nodiscard]] bool ArriveAndWait() {
    std::unique_lock lock(mutex_);
    const uint64_t phase = phase_;
    if (++arrived_ == count_) {
      arrived_ = 0;
      ++phase_;
      all_arrived_.notify_all();
      return true;
    }
    return all_arrived_.wait_for(lock, kHangLimit, [&] { return phase_ != phase; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable all_arrived_;
  const int count_;
  int arrived_ = 0;
  uint64_t phase_ = 0;
};

// Spins, yielding, until `done` returns true or the limit passes; the last
// answer of `done`.
template <typename Pred>
[[nodiscard]] bool SpinUntil(Pred done) {
  const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return done();
    std::this_thread::yield();
  }
  return true;
}

// Ends the test program with a failure when threads hang in a way the test
// cannot unwind (a thread stuck in a lock cannot be joined).
[[noreturn]] inline void ExitHung(const char* what) {
  std::fprintf(stderr, "hung: %s\n", what);
  std::fflush(stderr);
  std::_Exit(1);
}

// Spins until `done`; past the limit the program ends with `what`.
template <typename Pred>
void AwaitOrExit(Pred done, const char* what) {
  if (!dz_test::SpinUntil(done)) ExitHung(what);
}

}  // namespace dz_test
