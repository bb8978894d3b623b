// TRWCriticalSection: a multi-reader/single-writer lock. Many threads may read
// at once; one writer excludes everyone else; a thread may take either lock
// again while it holds it; a thread that holds read locks may take the write
// lock when no other thread reads.
//
// Rules the lock keeps:
//  - a thread that already holds a read lock takes more without blocking, even
//    while a writer waits; a thread without one blocks while a writer waits or
//    writes;
//  - a writer waits until every other thread has released all its read locks;
//    its own read locks do not hold it up;
//  - read and write locks nest per thread; reads the writer takes while it
//    writes are not counted.
// Every acquire must be matched by a release of the same kind on the same thread.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/sync.h"

namespace dizora {

// One thread's read locks: its id (0 marks a free entry) and nesting count.
struct TActiveThread {
  uint32_t ThreadId = 0;
  int32_t Nesting = 0;
};

// The table of threads that hold read locks. Starts empty, grows by two
// entries when a thread must register and finds no free entry; entries are
// reused, never removed.
class TActiveThreadArray {
 public:
  TActiveThread* Find(uint32_t thread_id) noexcept;
  // The caller's entry, else a free entry, else a new one from growing the
  // table (throws std::bad_alloc with the table unchanged).
  TActiveThread& FindOrClaim(uint32_t thread_id);
  // True when every used entry belongs to thread_id.
  bool OnlyThread(uint32_t thread_id) const noexcept;
  int32_t Size() const noexcept { return static_cast<int32_t>(entries_.size()); }
  int32_t Used() const noexcept;

 private:
  static constexpr int32_t kGrowth = 2;
  std::vector<TActiveThread> entries_;
};

class TRWCriticalSection {
 public:
  TRWCriticalSection();
  // Waits until no other thread reads, then tears the lock down.
  ~TRWCriticalSection();
  TRWCriticalSection(const TRWCriticalSection&) = delete;
  TRWCriticalSection& operator=(const TRWCriticalSection&) = delete;

  void AcquireRead();
  // Throws EAssertionFailed ("rwsyncs", line 191) when the caller holds no
  // read lock; nothing is changed then.
  void ReleaseRead();
  void AcquireWrite();
  void ReleaseWrite() noexcept;

  // A consistent view of the lock's bookkeeping, for tests.
  struct Observation {
    int32_t Count;
    int32_t SavedCount;
    bool Writing;
    uint32_t WaitingWriter;
    int32_t TableSize;
    int32_t UsedEntries;
    int32_t ReadersQueued;  // threads in AcquireRead waiting to enter WriteLock
  };
  Observation Observe() const;

 private:
  class TableGuard;

  bool OnlyWriterReads() const noexcept;
  bool TryCountReentrantRead(uint32_t id);
  void RegisterReader(uint32_t id);
  void WaitForForeignReaders(uint32_t id);

  platform::CriticalSection WriteLock;
  platform::ManualResetEvent NoReadersEvent{true};
  platform::InterlockedInt32 Count{0};
  int32_t SavedCount = 0;
  TActiveThreadArray Threads;
  platform::InterlockedUInt32 WaitingWriter{0};
  mutable platform::InterlockedUInt32 TableLock{0};
  std::atomic<bool> Writing{false};
  platform::InterlockedInt32 ReadersQueued{0};
};

// Holds a read lock for the guard's lifetime.
class TReadLockGuard {
 public:
  explicit TReadLockGuard(TRWCriticalSection& lock) : lock_(lock) { lock_.AcquireRead(); }
  // A matched release cannot fail: the lock was taken by this thread.
  ~TReadLockGuard() { lock_.ReleaseRead(); }
  TReadLockGuard(const TReadLockGuard&) = delete;
  TReadLockGuard& operator=(const TReadLockGuard&) = delete;

 private:
  TRWCriticalSection& lock_;
};

// Holds the write lock for the guard's lifetime.
class TWriteLockGuard {
 public:
  explicit TWriteLockGuard(TRWCriticalSection& lock) : lock_(lock) { lock_.AcquireWrite(); }
  ~TWriteLockGuard() { lock_.ReleaseWrite(); }
  TWriteLockGuard(const TWriteLockGuard&) = delete;
  TWriteLockGuard& operator=(const TWriteLockGuard&) = delete;

 private:
  TRWCriticalSection& lock_;
};

}  // namespace dizora
