#include "platform/fs_fault.h"

#include <atomic>

namespace dizora::platform::fault {

namespace {
// Test-only state: off unless a test arms it.
std::atomic<bool> g_active{false};
std::atomic<std::int64_t> g_count{0};
std::atomic<std::int64_t> g_fail_at{0};
std::atomic<bool> g_short_write{false};
std::atomic<bool> g_fired{false};
}  // namespace

void ArmFileFault(std::int64_t n, bool short_write) noexcept {
  g_count.store(0);
  g_fired.store(false);
  g_fail_at.store(n);
  g_short_write.store(short_write);
  g_active.store(true);
}

void CountFileOperations() noexcept { ArmFileFault(0, false); }

void DisarmFileFault() noexcept { g_active.store(false); }

std::int64_t FileOperationCount() noexcept { return g_count.load(); }

bool FileFaultFired() noexcept { return g_fired.load(); }

bool FileOperationFails() noexcept {
  if (!g_active.load(std::memory_order_relaxed)) return false;
  const std::int64_t n = g_count.fetch_add(1) + 1;
  if (n != g_fail_at.load()) return false;
  g_fired.store(true);
  return true;
}

std::size_t ShortWriteLength(std::size_t size) noexcept {
  return g_short_write.load() ? size / 2 : 0;
}

}  // namespace dizora::platform::fault
