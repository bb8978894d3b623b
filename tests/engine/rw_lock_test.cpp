// TRWCriticalSection: bookkeeping on one thread, and every locking rule with
// real threads whose order is forced by posting steps and spinning on the
// lock's observable state (no sleeps).
#include "engine/rw_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "support/exceptions.h"
#include "sync_test_util.h"

namespace dizora {
namespace {

using test::ExitDeadlocked;
using test::SpinUntil;
using test::Worker;

// ---- one thread ----------------------------------------------------------------

TEST(RWCriticalSection, StartsIdleWithEmptyTable) {
  TRWCriticalSection lock;
  auto seen = lock.Observe();
  EXPECT_EQ(seen.Count, 0);
  EXPECT_FALSE(seen.Writing);
  EXPECT_EQ(seen.WaitingWriter, 0u);
  EXPECT_EQ(seen.TableSize, 0);
}

TEST(RWCriticalSection, ReadLocksNestInOneEntryFreedByLastRelease) {
  TRWCriticalSection lock;
  for (int i = 0; i < 3; ++i) lock.AcquireRead();
  auto seen = lock.Observe();
  EXPECT_EQ(seen.Count, 3);
  EXPECT_EQ(seen.UsedEntries, 1);
  EXPECT_EQ(seen.TableSize, 2);
  lock.ReleaseRead();
  lock.ReleaseRead();
  EXPECT_EQ(lock.Observe().UsedEntries, 1);
  lock.ReleaseRead();
  seen = lock.Observe();
  EXPECT_EQ(seen.Count, 0);
  EXPECT_EQ(seen.UsedEntries, 0);
  EXPECT_EQ(seen.TableSize, 2);
}

TEST(RWCriticalSection, ReleaseReadWithoutReadLockIsAnAssertionAndChangesNothing) {
  TRWCriticalSection lock;
  try {
    lock.ReleaseRead();
    FAIL() << "ReleaseRead without a read lock did not raise";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Assertion failure (rwsyncs, line 191)");
  }
  EXPECT_EQ(lock.Observe().Count, 0);
  // The spin lock was released on the way out: the lock still works.
  lock.AcquireRead();
  lock.ReleaseRead();
  lock.AcquireWrite();
  lock.ReleaseWrite();
  EXPECT_EQ(lock.Observe().Count, 0);
}

TEST(RWCriticalSection, WriteLocksNestAndCountDepth) {
  TRWCriticalSection lock;
  lock.AcquireWrite();
  lock.AcquireWrite();
  auto seen = lock.Observe();
  EXPECT_TRUE(seen.Writing);
  EXPECT_EQ(seen.Count, 2);
  lock.ReleaseWrite();
  seen = lock.Observe();
  EXPECT_TRUE(seen.Writing);
  EXPECT_EQ(seen.Count, 1);
  lock.ReleaseWrite();
  seen = lock.Observe();
  EXPECT_FALSE(seen.Writing);
  EXPECT_EQ(seen.Count, 0);
}

TEST(RWCriticalSection, WritersOwnReadsAreNotCounted) {
  TRWCriticalSection lock;
  lock.AcquireWrite();
  lock.AcquireRead();
  lock.AcquireRead();
  auto seen = lock.Observe();
  EXPECT_EQ(seen.Count, 1);
  EXPECT_EQ(seen.UsedEntries, 0);
  lock.ReleaseRead();
  lock.ReleaseRead();
  lock.ReleaseWrite();
  seen = lock.Observe();
  EXPECT_FALSE(seen.Writing);
  EXPECT_EQ(seen.Count, 0);
}

TEST(RWCriticalSection, LoneReaderUpgradesAndGetsItsReadCountBack) {
  TRWCriticalSection lock;
  lock.AcquireRead();
  lock.AcquireRead();
  lock.AcquireWrite();  // would wait forever if the caller's reads counted
  auto seen = lock.Observe();
  EXPECT_TRUE(seen.Writing);
  EXPECT_EQ(seen.Count, 1);
  EXPECT_EQ(seen.SavedCount, 2);
  EXPECT_EQ(seen.WaitingWriter, 0u);
  lock.AcquireRead();  // a read while writing: not counted
  lock.ReleaseRead();
  lock.ReleaseWrite();
  seen = lock.Observe();
  EXPECT_FALSE(seen.Writing);
  EXPECT_EQ(seen.Count, 2);
  EXPECT_EQ(seen.SavedCount, 0);
  lock.ReleaseRead();
  lock.ReleaseRead();
  EXPECT_EQ(lock.Observe().Count, 0);
}

TEST(RWCriticalSection, GuardsReleaseOnException) {
  TRWCriticalSection lock;
  EXPECT_THROW(
      {
        TReadLockGuard read(lock);
        throw std::runtime_error("in read");
      },
      std::runtime_error);
  EXPECT_THROW(
      {
        TWriteLockGuard write(lock);
        throw std::runtime_error("in write");
      },
      std::runtime_error);
  auto seen = lock.Observe();
  EXPECT_EQ(seen.Count, 0);
  EXPECT_FALSE(seen.Writing);
  EXPECT_EQ(seen.UsedEntries, 0);
}

// ---- threads -------------------------------------------------------------------

bool WriterDeciding(const TRWCriticalSection& lock) { return lock.Observe().WaitingWriter != 0; }

TEST(RWCriticalSectionConcurrency, ReadersShareTheLock) {
  TRWCriticalSection lock;
  Worker a, b;
  a.Run([&] { lock.AcquireRead(); });
  b.Run([&] { lock.AcquireRead(); });  // would never finish if reads excluded each other
  auto seen = lock.Observe();
  EXPECT_EQ(seen.Count, 2);
  EXPECT_EQ(seen.UsedEntries, 2);
  a.Run([&] { lock.ReleaseRead(); });
  b.Run([&] { lock.ReleaseRead(); });
  EXPECT_EQ(lock.Observe().Count, 0);
}

TEST(RWCriticalSectionConcurrency, WriterWaitsForAllReadersAndQueuesNewReaders) {
  TRWCriticalSection lock;
  Worker r1, r2, writer, late_reader;
  std::atomic<bool> wrote{false}, late_read{false};
  r1.Run([&] { lock.AcquireRead(); });
  r2.Run([&] { lock.AcquireRead(); });

  writer.Post([&] {
    lock.AcquireWrite();
    wrote = true;
  });
  SpinUntil([&] { return WriterDeciding(lock) || wrote; });
  EXPECT_FALSE(wrote) << "writer got in while two threads read";

  late_reader.Post([&] {
    lock.AcquireRead();
    late_read = true;
  });
  SpinUntil([&] { return lock.Observe().ReadersQueued == 1 || late_read; });
  EXPECT_FALSE(late_read) << "new reader got in while a writer waited";

  r1.Run([&] { lock.ReleaseRead(); });
  EXPECT_FALSE(wrote) << "writer got in while one thread still read";
  EXPECT_FALSE(late_read);

  r2.Run([&] { lock.ReleaseRead(); });
  writer.WaitDone();
  EXPECT_TRUE(wrote);
  EXPECT_TRUE(lock.Observe().Writing);
  EXPECT_FALSE(late_read) << "new reader got in while the writer wrote";
  EXPECT_EQ(lock.Observe().ReadersQueued, 1);

  writer.Run([&] { lock.ReleaseWrite(); });
  late_reader.WaitDone();
  EXPECT_TRUE(late_read);
  late_reader.Run([&] { lock.ReleaseRead(); });
  EXPECT_EQ(lock.Observe().Count, 0);
}

TEST(RWCriticalSectionConcurrency, ReentrantReadDoesNotBlockWhileWriterWaits) {
  TRWCriticalSection lock;
  Worker reader, writer;
  std::atomic<bool> read_again{false};
  reader.Run([&] { lock.AcquireRead(); });
  writer.Post([&] { lock.AcquireWrite(); });
  SpinUntil([&] { return WriterDeciding(lock); });

  reader.Post([&] {
    lock.AcquireRead();
    read_again = true;
  });
  SpinUntil([&] { return read_again || lock.Observe().ReadersQueued != 0; });
  if (!read_again) ExitDeadlocked("re-entrant read queued behind a waiting writer");
  EXPECT_EQ(lock.Observe().Count, 2);
  EXPECT_FALSE(lock.Observe().Writing);

  reader.Run([&] { lock.ReleaseRead(); });
  EXPECT_FALSE(lock.Observe().Writing) << "writer got in while a read lock was still held";
  reader.Run([&] { lock.ReleaseRead(); });
  writer.WaitDone();
  EXPECT_TRUE(lock.Observe().Writing);
  writer.Run([&] { lock.ReleaseWrite(); });
}

TEST(RWCriticalSectionConcurrency, NestedWriteHoldsOffReadersUntilLastRelease) {
  TRWCriticalSection lock;
  Worker writer, reader;
  std::atomic<bool> read{false};
  writer.Run([&] {
    lock.AcquireWrite();
    lock.AcquireWrite();
  });
  reader.Post([&] {
    lock.AcquireRead();
    read = true;
  });
  SpinUntil([&] { return lock.Observe().ReadersQueued == 1 || read; });
  EXPECT_FALSE(read);

  writer.Run([&] { lock.ReleaseWrite(); });
  EXPECT_TRUE(lock.Observe().Writing);
  EXPECT_FALSE(read) << "reader got in while the outer write lock was held";

  writer.Run([&] { lock.ReleaseWrite(); });
  reader.WaitDone();
  EXPECT_TRUE(read);
  reader.Run([&] { lock.ReleaseRead(); });
}

TEST(RWCriticalSectionConcurrency, WriterWaitsOnlyForOtherThreadsReads) {
  TRWCriticalSection lock;
  Worker writer, other;
  std::atomic<bool> wrote{false};
  const uint32_t writer_id = writer.Id();
  writer.Run([&] { lock.AcquireRead(); });
  other.Run([&] { lock.AcquireRead(); });

  writer.Post([&] {
    lock.AcquireWrite();
    wrote = true;
  });
  SpinUntil([&] { return lock.Observe().WaitingWriter == writer_id || wrote; });
  EXPECT_FALSE(wrote) << "writer got in while another thread read";

  other.Run([&] { lock.ReleaseRead(); });
  writer.WaitDone();  // its own read lock does not hold it up
  ASSERT_TRUE(wrote);
  auto seen = lock.Observe();
  EXPECT_EQ(seen.Count, 1);
  EXPECT_EQ(seen.SavedCount, 1);

  writer.Run([&] {
    lock.AcquireRead();  // not counted while writing
    lock.ReleaseRead();
    lock.ReleaseWrite();
  });
  seen = lock.Observe();
  EXPECT_FALSE(seen.Writing);
  EXPECT_EQ(seen.Count, 1) << "the writer's read lock taken before writing is restored";
  writer.Run([&] { lock.ReleaseRead(); });
  EXPECT_EQ(lock.Observe().Count, 0);
}

// A writer that upgraded after waiting leaves the "no readers" signal set while
// it still reads; the next writer must nevertheless wait for that read.
TEST(RWCriticalSectionConcurrency, NextWriterWaitsForReadKeptAfterUpgrade) {
  TRWCriticalSection lock;
  Worker upgrader, other, next_writer;
  std::atomic<bool> next_wrote{false};
  upgrader.Run([&] { lock.AcquireRead(); });
  other.Run([&] { lock.AcquireRead(); });
  upgrader.Post([&] { lock.AcquireWrite(); });
  SpinUntil([&] { return WriterDeciding(lock); });
  other.Run([&] { lock.ReleaseRead(); });  // signals the upgrader
  upgrader.WaitDone();
  upgrader.Run([&] { lock.ReleaseWrite(); });  // still holds its read lock

  next_writer.Post([&] {
    lock.AcquireWrite();
    next_wrote = true;
  });
  SpinUntil([&] { return WriterDeciding(lock) || next_wrote; });
  EXPECT_FALSE(next_wrote) << "writer got in while another thread read";

  upgrader.Run([&] { lock.ReleaseRead(); });
  next_writer.WaitDone();
  EXPECT_TRUE(next_wrote);
  EXPECT_EQ(lock.Observe().SavedCount, 0);
  next_writer.Run([&] { lock.ReleaseWrite(); });
}

TEST(RWCriticalSectionConcurrency, ReleaseReadOnAThreadWithoutReadLockIsAnAssertion) {
  TRWCriticalSection lock;
  Worker reader, stranger;
  reader.Run([&] { lock.AcquireRead(); });
  std::atomic<bool> raised{false};
  stranger.Run([&] {
    try {
      lock.ReleaseRead();
    } catch (const EAssertionFailed&) {
      raised = true;
    }
  });
  EXPECT_TRUE(raised);
  auto seen = lock.Observe();
  EXPECT_EQ(seen.Count, 1) << "another thread's read lock was released";
  EXPECT_EQ(seen.UsedEntries, 1);
  reader.Run([&] { lock.ReleaseRead(); });
}

TEST(RWCriticalSectionConcurrency, TableGrowsByTwoAndReusesFreedEntries) {
  TRWCriticalSection lock;
  {
    std::vector<std::unique_ptr<Worker>> readers;
    for (int i = 0; i < 3; ++i) {
      readers.push_back(std::make_unique<Worker>());
      readers.back()->Run([&] { lock.AcquireRead(); });
    }
    auto seen = lock.Observe();
    EXPECT_EQ(seen.TableSize, 4);
    EXPECT_EQ(seen.UsedEntries, 3);
    for (auto& r : readers) r->Run([&] { lock.ReleaseRead(); });
    seen = lock.Observe();
    EXPECT_EQ(seen.UsedEntries, 0);
    EXPECT_EQ(seen.TableSize, 4);
  }
  std::vector<std::unique_ptr<Worker>> readers;
  for (int i = 0; i < 4; ++i) {
    readers.push_back(std::make_unique<Worker>());
    readers.back()->Run([&] { lock.AcquireRead(); });
  }
  auto seen = lock.Observe();
  EXPECT_EQ(seen.TableSize, 4) << "freed entries were not reused";
  EXPECT_EQ(seen.UsedEntries, 4);
  Worker fifth;
  fifth.Run([&] { lock.AcquireRead(); });
  EXPECT_EQ(lock.Observe().TableSize, 6);
  fifth.Run([&] { lock.ReleaseRead(); });
  for (auto& r : readers) r->Run([&] { lock.ReleaseRead(); });
  EXPECT_EQ(lock.Observe().Count, 0);
}

TEST(RWCriticalSectionConcurrency, DestructorWaitsForOtherThreadsReads) {
  auto lock = std::make_unique<TRWCriticalSection>();
  TRWCriticalSection* raw = lock.get();
  Worker reader, destroyer;
  std::atomic<bool> destroyed{false};
  reader.Run([&] { raw->AcquireRead(); });
  destroyer.Post([&] {
    lock.reset();
    destroyed = true;
  });
  SpinUntil([&] { return destroyed || WriterDeciding(*raw); });
  EXPECT_FALSE(destroyed) << "lock destroyed while another thread read";
  reader.Run([&] { raw->ReleaseRead(); });
  destroyer.WaitDone();
  EXPECT_TRUE(destroyed);
}

// Writers keep two plain fields equal; readers, some nesting reads and some
// upgrading as lone readers, must never see them differ.
TEST(RWCriticalSectionConcurrency, ManyThreadsSeeOnlyConsistentData) {
  TRWCriticalSection lock;
  int64_t first = 0, second = 0;
  std::atomic<int> torn{0};
  constexpr int kThreads = 6;
  constexpr int kRounds = 3000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        if ((i + t) % 5 == 0) {
          TWriteLockGuard write(lock);
          TReadLockGuard own_read(lock);
          ++first;
          ++second;
        } else {
          TReadLockGuard read(lock);
          TReadLockGuard nested(lock);
          if (first != second) torn.fetch_add(1);
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, static_cast<int64_t>(kThreads) * kRounds / 5);
  auto seen = lock.Observe();
  EXPECT_EQ(seen.Count, 0);
  EXPECT_FALSE(seen.Writing);
  EXPECT_EQ(seen.UsedEntries, 0);
}

}  // namespace
}  // namespace dizora
