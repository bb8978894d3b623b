// TRWCriticalSection: multi-reader/single-writer lock (module rwsyncs).
//
// WriteLock is held by the writer from AcquireWrite to its last ReleaseWrite,
// and briefly by every thread taking its first read lock, so a new reader
// queues behind a waiting or active writer. Re-entrant reads never touch it:
// they only find their entry in Threads under the TableLock spin lock.
//
// Every change of Count, Threads, Writing and WaitingWriter, and every decision
// to signal or reset NoReadersEvent, is made under TableLock. The writer
// re-checks for foreign readers under TableLock each time it wakes and resets
// the event before waiting, so an out-of-date signal can never let it in while
// another thread still reads.
#include "engine/rw_lock.h"

#include "support/exceptions.h"

namespace dizora {

// ---- TActiveThreadArray ------------------------------------------------------

TActiveThread* TActiveThreadArray::Find(uint32_t thread_id) noexcept {
  for (TActiveThread& entry : entries_) {
    if (entry.ThreadId == thread_id) return &entry;
  }
  return nullptr;
}

TActiveThread& TActiveThreadArray::FindOrClaim(uint32_t thread_id) {
  TActiveThread* free_entry = nullptr;
  for (TActiveThread& entry : entries_) {
    if (entry.ThreadId == thread_id) return entry;
    if (entry.ThreadId == 0 && free_entry == nullptr) free_entry = &entry;
  }
  if (free_entry == nullptr) {
    const size_t first_new = entries_.size();
    entries_.resize(first_new + kGrowth);
    free_entry = &entries_[first_new];
  }
  free_entry->ThreadId = thread_id;
  free_entry->Nesting = 0;
  return *free_entry;
}

bool TActiveThreadArray::OnlyThread(uint32_t thread_id) const noexcept {
  for (const TActiveThread& entry : entries_) {
    if (entry.ThreadId != 0 && entry.ThreadId != thread_id) return false;
  }
  return true;
}

int32_t TActiveThreadArray::Used() const noexcept {
  int32_t used = 0;
  for (const TActiveThread& entry : entries_) used += entry.ThreadId != 0 ? 1 : 0;
  return used;
}

// ---- TableLock ---------------------------------------------------------------

// Holds the TableLock spin lock: the word holds the owner's thread id, 0 when free.
class TRWCriticalSection::TableGuard {
 public:
  explicit TableGuard(const TRWCriticalSection& lock) : word_(lock.TableLock) {
    const uint32_t id = platform::CurrentThreadId();
    while (word_.exchange(id, std::memory_order_acquire) != 0) platform::YieldThread();
  }
  ~TableGuard() { word_.store(0, std::memory_order_release); }
  TableGuard(const TableGuard&) = delete;
  TableGuard& operator=(const TableGuard&) = delete;

 private:
  platform::InterlockedUInt32& word_;
};

namespace {

// Enters a critical section while counting the thread in `queued`, and leaves
// the section when destroyed.
class QueuedEnter {
 public:
  QueuedEnter(platform::CriticalSection& section, platform::InterlockedInt32& queued) : section_(section) {
    platform::AtomicIncrement(queued);
    struct Dequeue {
      platform::InterlockedInt32& queued;
      ~Dequeue() { platform::AtomicDecrement(queued); }
    } dequeue{queued};
    section_.Enter();
  }
  ~QueuedEnter() { section_.Leave(); }
  QueuedEnter(const QueuedEnter&) = delete;
  QueuedEnter& operator=(const QueuedEnter&) = delete;

 private:
  platform::CriticalSection& section_;
};

}  // namespace

// ---- TRWCriticalSection ------------------------------------------------------

TRWCriticalSection::TRWCriticalSection() = default;

TRWCriticalSection::~TRWCriticalSection() {
  // Wait for readers on other threads to finish, then give the write lock back
  // so that WriteLock is not destroyed while held.
  try {
    AcquireWrite();
    ReleaseWrite();
  } catch (...) {
    // Nothing left to do: the members are torn down either way.
  }
}

// Under TableLock. True when a writer is deciding and no other thread reads.
bool TRWCriticalSection::OnlyWriterReads() const noexcept {
  const uint32_t writer = WaitingWriter.load(std::memory_order_relaxed);
  return writer != 0 && Threads.OnlyThread(writer);
}

void TRWCriticalSection::AcquireRead() {
  const uint32_t id = platform::CurrentThreadId();
  if (TryCountReentrantRead(id)) return;
  QueuedEnter entered(WriteLock, ReadersQueued);
  // Holding WriteLock while Writing is set means the caller is the writer:
  // its reads are not counted.
  if (Writing.load()) return;
  RegisterReader(id);
}

// A thread that already holds read locks (or writes) is served without WriteLock.
bool TRWCriticalSection::TryCountReentrantRead(uint32_t id) {
  TableGuard table(*this);
  TActiveThread* entry = Threads.Find(id);
  if (entry == nullptr) return false;
  if (!Writing.load()) {
    platform::AtomicIncrement(Count);
    ++entry->Nesting;
  }
  return true;
}

// The caller's first read lock; called with WriteLock held and no writer active.
void TRWCriticalSection::RegisterReader(uint32_t id) {
  TableGuard table(*this);
  TActiveThread& entry = Threads.FindOrClaim(id);  // may throw; nothing counted yet
  ++entry.Nesting;
  if (platform::AtomicIncrement(Count) == 1) NoReadersEvent.Reset();
}

void TRWCriticalSection::ReleaseRead() {
  const uint32_t id = platform::CurrentThreadId();
  TableGuard table(*this);
  if (Writing.load()) return;  // the writer's own reads are not counted
  TActiveThread* entry = Threads.Find(id);
  if (entry == nullptr) throw EAssertionFailed("rwsyncs", 191);
  if (--entry->Nesting == 0) entry->ThreadId = 0;
  if (platform::AtomicDecrement(Count) == 0 || OnlyWriterReads()) NoReadersEvent.Set();
}

void TRWCriticalSection::AcquireWrite() {
  WriteLock.Enter();
  if (!Writing.load()) {
    try {
      WaitForForeignReaders(platform::CurrentThreadId());
    } catch (...) {
      WriteLock.Leave();
      throw;
    }
  }
  Count.store(Count.load() + 1);  // nesting depth of the write lock
}

// With WriteLock held: waits until no other thread reads, then starts writing.
void TRWCriticalSection::WaitForForeignReaders(uint32_t id) {
  try {
    for (;;) {
      {
        TableGuard table(*this);
        WaitingWriter.store(id);
        if (OnlyWriterReads()) {
          SavedCount = Count.load();
          Count.store(0);
          WaitingWriter.store(0);
          Writing.store(true);
          return;
        }
        NoReadersEvent.Reset();
      }
      NoReadersEvent.Wait();
    }
  } catch (...) {
    TableGuard table(*this);
    WaitingWriter.store(0);
    throw;
  }
}

void TRWCriticalSection::ReleaseWrite() noexcept {
  {
    TableGuard table(*this);
    if (!Writing.load()) return;  // not held: nothing to release
    const int32_t depth = Count.load() - 1;
    if (depth == 0) {
      Count.store(SavedCount);
      SavedCount = 0;
      Writing.store(false);
    } else {
      Count.store(depth);
    }
  }
  WriteLock.Leave();
}

TRWCriticalSection::Observation TRWCriticalSection::Observe() const {
  TableGuard table(*this);
  return Observation{Count.load(),          SavedCount,      Writing.load(), WaitingWriter.load(),
                     Threads.Size(),        Threads.Used(),  ReadersQueued.load()};
}

}  // namespace dizora
