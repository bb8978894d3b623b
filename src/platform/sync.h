// Synchronisation primitives of the operating system, behind an interface that
// has a POSIX implementation (sync_posix.cpp) and can take a Win32 one
// (critical sections, CreateEvent/WaitForSingleObject, Interlocked*,
// GetCurrentThreadId, Sleep(0)) without changing callers.
//
// The names avoid those the Windows headers define as macros or functions
// (InterlockedIncrement, Yield, YieldProcessor, GetCurrentThreadId, Sleep).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace dizora::platform {

// A mutual-exclusion lock that the holding thread may enter again; each Enter
// must be matched by a Leave on the same thread. Construction throws
// std::system_error when the system cannot create the lock.
class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  // Blocks until the calling thread owns the section (at once if it already
  // does). Throws std::system_error only if the system refuses the lock.
  void Enter();
  void Leave() noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Holds a critical section for the guard's lifetime.
class CriticalSectionGuard {
 public:
  explicit CriticalSectionGuard(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~CriticalSectionGuard() { section_.Leave(); }
  CriticalSectionGuard(const CriticalSectionGuard&) = delete;
  CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

 private:
  CriticalSection& section_;
};

// An event that stays signalled from Set until Reset and releases every
// waiter while signalled (a manual-reset event).
class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool initially_signalled);
  ~ManualResetEvent();
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  // Blocks without a time limit until the event is signalled.
  void Wait();
  void Set() noexcept;
  void Reset() noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A 32-bit word changed only through the interlocked operations below.
using InterlockedInt32 = std::atomic<int32_t>;
using InterlockedUInt32 = std::atomic<uint32_t>;

// Adds one and returns the new value.
inline int32_t AtomicIncrement(InterlockedInt32& value) noexcept { return value.fetch_add(1) + 1; }

// Subtracts one and returns the new value.
inline int32_t AtomicDecrement(InterlockedInt32& value) noexcept { return value.fetch_sub(1) - 1; }

// Stores a new value and returns the old one.
inline uint32_t AtomicExchange(InterlockedUInt32& word, uint32_t value) noexcept {
  return word.exchange(value);
}
inline int32_t AtomicExchange(InterlockedInt32& word, int32_t value) noexcept { return word.exchange(value); }

// The calling thread's identifier: never 0, stable for the thread's lifetime,
// distinct from every other running thread's.
uint32_t CurrentThreadId() noexcept;

// Gives up the rest of the calling thread's time slice.
void YieldThread() noexcept;

}  // namespace dizora::platform
