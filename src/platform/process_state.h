// Process-wide state of a module, held so that nothing of it is torn down at
// process exit behind the library's back.
//
// The rule for every process-wide item of the engine library: it is created
// by the library's start (or, in programs that link the engine statically and
// so run no start code, by its first use) and destroyed only by the library's
// stop, in their explicit order. The holder below is a bare atomic pointer,
// constant-initialised and without a destructor: the C++ runtime never
// destroys what it points to, neither at exit nor at unload. Items that must
// outlive everything (read by a host thread that is still inside the library
// while the process exits) are simply never handed to Take.
#pragma once

#include <atomic>
#include <memory>

namespace dizora::platform {

template <class T>
class ProcessState {
 public:
  constexpr ProcessState() noexcept = default;
  ProcessState(const ProcessState&) = delete;
  ProcessState& operator=(const ProcessState&) = delete;

  // The state, created here when it does not exist yet (two threads racing
  // to create it end up with the same object).
  T& Get() {
    T* current = state_.load(std::memory_order_acquire);
    if (current != nullptr) return *current;
    auto fresh = std::make_unique<T>();
    if (state_.compare_exchange_strong(current, fresh.get(), std::memory_order_acq_rel)) return *fresh.release();
    return *current;
  }

  // The state when it exists, else null; creates nothing.
  T* Find() const noexcept { return state_.load(std::memory_order_acquire); }

  // Hands the state over to be destroyed by the caller (the library's stop);
  // null when there is none. Later uses start a new one.
  std::unique_ptr<T> Take() noexcept { return std::unique_ptr<T>(state_.exchange(nullptr, std::memory_order_acq_rel)); }

 private:
  std::atomic<T*> state_{nullptr};
};

}  // namespace dizora::platform
