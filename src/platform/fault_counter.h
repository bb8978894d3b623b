// The counter behind the test-only fault seams (file operations, working
// buffers): while armed it counts events and makes the n-th one fail.
// Disarmed, which is the state unless a test arms it, Fails() costs one
// relaxed atomic load.
#pragma once

#include <atomic>
#include <cstdint>

namespace dizora::platform::fault {

class FaultCounter {
 public:
  // Makes the n-th counted event from now fail (1-based); n = 0 only counts.
  void Arm(std::int64_t n) noexcept {
    count_.store(0);
    fired_.store(false);
    fail_at_.store(n);
    active_.store(true);
  }
  void Disarm() noexcept { active_.store(false); }
  std::int64_t Count() const noexcept { return count_.load(); }
  bool Fired() const noexcept { return fired_.load(); }

  // Counts this event and says whether it must fail.
  bool Fails() noexcept {
    if (!active_.load(std::memory_order_relaxed)) return false;
    const std::int64_t n = count_.fetch_add(1) + 1;
    if (n != fail_at_.load()) return false;
    fired_.store(true);
    return true;
  }

 private:
  std::atomic<bool> active_{false};
  std::atomic<std::int64_t> count_{0};
  std::atomic<std::int64_t> fail_at_{0};
  std::atomic<bool> fired_{false};
};

}  // namespace dizora::platform::fault
