// The medium's lock: one advisory lock on ".dizora.lock", reentrant per thread.
#include "support/medium.h"

#include <utility>

#include "platform/path_style.h"

namespace dizora::support {

namespace {

// The locks this thread holds, innermost first (a chain through the guards
// on its stack).
thread_local const MediumLock* t_innermost = nullptr;

// A thread that finds the record after recovering once more leaves it (a
// change that cannot be completed) rather than loop.
constexpr int kRecoveryRounds = 2;

}  // namespace

std::string MediumOfSecretKey(const std::string& secretKeyPath) {
  const std::size_t pos = secretKeyPath.find_last_of(platform::kPathDelimiter);
  return pos == std::string::npos ? std::string() : secretKeyPath.substr(0, pos + 1);
}

MediumLock::MediumLock(std::string medium, Mode mode) noexcept : medium_(std::move(medium)), mode_(mode) {
  if (HeldByThisThread()) return;
  TakeAndRecover();
  outer_ = t_innermost;
  t_innermost = this;
  pushed_ = true;
}

MediumLock::~MediumLock() {
  if (pushed_) t_innermost = outer_;
}

// The same medium under another spelling is the same lock file.
bool MediumLock::HeldByThisThread() const noexcept {
  try {
    for (const MediumLock* held = t_innermost; held != nullptr; held = held->outer_) {
      if (held->medium_ == medium_ ||
          platform::SameFile(held->medium_ + kMediumLockName, medium_ + kMediumLockName).value_or(false))
        return true;
    }
  } catch (...) {
  }
  return false;
}

void MediumLock::TakeAndRecover() noexcept {
  try {
    if (!file_.Open(medium_ + kMediumLockName)) return;
    const std::string record = medium_ + kIntentRecordName;
    for (int round = 0; file_.Lock(mode_) && round < kRecoveryRounds; ++round) {
      if (!platform::PathExists(record)) return;
      if (mode_ == Mode::kShared && !file_.Lock(Mode::kExclusive)) return;
      recovered_ = RecoverChange(medium_) || recovered_;
      if (mode_ == Mode::kExclusive) return;
    }
  } catch (...) {
  }
}

}  // namespace dizora::support
