#include "platform/fs_fault.h"

#include <atomic>
#include <string>

#include "platform/env.h"
#include "platform/fault_counter.h"

namespace dizora::platform::fault {

namespace {
// Test-only state: off unless a test arms it.
FaultCounter g_files;
std::atomic<bool> g_short_write{false};
std::atomic<bool> g_other_file_system{false};
}  // namespace

void ArmFileFault(std::int64_t n, bool short_write) noexcept {
  g_short_write.store(short_write);
  g_files.Arm(n);
}

void CountFileOperations() noexcept { ArmFileFault(0, false); }

void DisarmFileFault() noexcept { g_files.Disarm(); }

std::int64_t FileOperationCount() noexcept { return g_files.Count(); }

bool FileFaultFired() noexcept { return g_files.Fired(); }

bool FileOperationFails() noexcept { return g_files.Fails(); }

std::size_t ShortWriteLength(std::size_t size) noexcept {
  return g_short_write.load() ? size / 2 : 0;
}

void SimulateOtherFileSystem(bool on) noexcept { g_other_file_system.store(on); }

bool OtherFileSystemSimulated() noexcept { return g_other_file_system.load(std::memory_order_relaxed); }

#ifdef DZ_TEST_SEAMS
namespace {

std::int64_t KillPoint() noexcept {
  try {
    const std::string text = GetEnvVar("DZ_TEST_KILL_AT");
    std::int64_t n = 0;
    for (char c : text) {
      if (c < '0' || c > '9') return 0;
      n = n * 10 + (c - '0');
    }
    return n;
  } catch (...) {
    return 0;
  }
}

std::atomic<std::int64_t> g_changes{0};

}  // namespace

void BeforeFileChange() noexcept {
  static const std::int64_t kill_at = KillPoint();
  if (kill_at > 0 && g_changes.fetch_add(1) + 1 == kill_at) KillThisProcess();
}
#endif

}  // namespace dizora::platform::fault
