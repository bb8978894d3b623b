// TRWCriticalSection: every locking rule with real threads whose order is
// forced by posting steps and spinning on the lock's waiting state (no
// sleeps). A rule is checked by what another thread can or cannot do, never
// by the lock's bookkeeping.
#include "engine/rw_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/exceptions.h"
#include "sync_test_util.h"

namespace dizora {
namespace {

using test::SpinUntil;
using test::Worker;

bool WriterWaiting(const TRWCriticalSection& lock) { return lock.Observe().WaitingWriter != 0; }

// A writer on a thread of its own, started at construction.
class Writer {
 public:
  explicit Writer(TRWCriticalSection& lock) : lock_(lock) {
    worker_.Post([this] {
      lock_.AcquireWrite();
      in_ = true;
    });
  }
  // True when the writer is held up: it waits for readers instead of writing.
  bool HeldUp() {
    SpinUntil([this] { return WriterWaiting(lock_) || in_; });
    return !in_;
  }
  bool In() const { return in_; }
  void WaitIn() {
    worker_.WaitDone();
    EXPECT_TRUE(in_);
  }
  void Release() {
    worker_.Run([this] { lock_.ReleaseWrite(); });
  }
  void EnterAndRelease() {
    WaitIn();
    Release();
  }

 private:
  TRWCriticalSection& lock_;
  std::atomic<bool> in_{false};
  Worker worker_;
};

TEST(RWCriticalSectionConcurrency, NestedReadsHoldOffAWriterUntilTheLastRelease) {
  TRWCriticalSection lock;
  Worker reader;
  reader.Run([&] {
    for (int i = 0; i < 3; ++i) lock.AcquireRead();
  });
  Writer writer(lock);
  EXPECT_TRUE(writer.HeldUp());
  reader.Run([&] {
    lock.ReleaseRead();
    lock.ReleaseRead();
  });
  EXPECT_FALSE(writer.In()) << "writer got in while one nested read was held";
  reader.Run([&] { lock.ReleaseRead(); });
  writer.EnterAndRelease();
}

TEST(RWCriticalSectionConcurrency, WriterWaitsForAllReadersAndQueuesNewReaders) {
  TRWCriticalSection lock;
  Worker r1, r2, late_reader;
  std::atomic<bool> late_read{false};
  r1.Run([&] { lock.AcquireRead(); });
  r2.Run([&] { lock.AcquireRead(); });  // readers share: this step finishes
  Writer writer(lock);
  EXPECT_TRUE(writer.HeldUp()) << "writer got in while two threads read";

  late_reader.Post([&] {
    lock.AcquireRead();
    late_read = true;
  });
  SpinUntil([&] { return lock.Observe().ReadersQueued == 1 || late_read; });
  EXPECT_FALSE(late_read) << "new reader got in while a writer waited";

  r1.Run([&] { lock.ReleaseRead(); });
  EXPECT_FALSE(writer.In()) << "writer got in while one thread still read";
  r2.Run([&] { lock.ReleaseRead(); });
  writer.WaitIn();
  EXPECT_FALSE(late_read) << "new reader got in while the writer wrote";
  writer.Release();
  late_reader.WaitDone();
  EXPECT_TRUE(late_read);
  late_reader.Run([&] { lock.ReleaseRead(); });
}

TEST(RWCriticalSectionConcurrency, ReentrantReadDoesNotBlockWhileWriterWaits) {
  TRWCriticalSection lock;
  Worker reader;
  std::atomic<bool> read_again{false};
  reader.Run([&] { lock.AcquireRead(); });
  Writer writer(lock);
  ASSERT_TRUE(writer.HeldUp());

  reader.Post([&] {
    lock.AcquireRead();
    read_again = true;
  });
  SpinUntil([&] { return read_again || lock.Observe().ReadersQueued != 0; });
  if (!read_again) dz_test::ExitHung("re-entrant read queued behind a waiting writer");

  reader.Run([&] { lock.ReleaseRead(); });
  EXPECT_FALSE(writer.In()) << "writer got in while a read lock was still held";
  reader.Run([&] { lock.ReleaseRead(); });
  writer.EnterAndRelease();
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
  EXPECT_FALSE(read) << "reader got in while the outer write lock was held";

  writer.Run([&] { lock.ReleaseWrite(); });
  reader.WaitDone();
  EXPECT_TRUE(read);
  reader.Run([&] { lock.ReleaseRead(); });
}

// A thread holding two read locks takes the write lock: alone at once, with
// another reader after that reader left. Reads taken while writing are not
// counted, and after the write its two reads hold off the next writer until
// both are released (a waiting upgrade leaves the "no readers" signal set, and
// the next writer must wait nevertheless).
TEST(RWCriticalSectionConcurrency, UpgradeWaitsOnlyForOtherThreadsAndKeepsItsReads) {
  for (const bool other_reads : {false, true}) {
    SCOPED_TRACE(other_reads ? "another thread reads" : "lone reader");
    TRWCriticalSection lock;
    Worker upgrader, other;
    std::atomic<bool> wrote{false};
    const uint32_t upgrader_id = upgrader.Id();
    upgrader.Run([&] {
      lock.AcquireRead();
      lock.AcquireRead();
    });
    if (other_reads) other.Run([&] { lock.AcquireRead(); });

    upgrader.Post([&] {
      lock.AcquireWrite();
      wrote = true;
    });
    if (other_reads) {
      SpinUntil([&] { return lock.Observe().WaitingWriter == upgrader_id || wrote; });
      EXPECT_FALSE(wrote) << "writer got in while another thread read";
      other.Run([&] { lock.ReleaseRead(); });
    }
    upgrader.WaitDone();  // its own reads do not hold it up
    ASSERT_TRUE(wrote);
    upgrader.Run([&] {
      lock.AcquireRead();
      lock.ReleaseRead();
      lock.ReleaseWrite();
    });

    Writer next(lock);
    EXPECT_TRUE(next.HeldUp()) << "writer got in while the upgrader still read";
    upgrader.Run([&] { lock.ReleaseRead(); });
    EXPECT_FALSE(next.In()) << "writer got in while the upgrader held one of its two reads";
    upgrader.Run([&] { lock.ReleaseRead(); });
    next.EnterAndRelease();
  }
}

TEST(RWCriticalSectionConcurrency, ReleaseReadWithoutAReadLockRaisesAndReleasesNothing) {
  TRWCriticalSection lock;
  Worker reader, stranger;
  reader.Run([&] { lock.AcquireRead(); });
  std::string raised;
  stranger.Run([&] {
    try {
      lock.ReleaseRead();
    } catch (const EAssertionFailed& e) {
      raised = e.what();
    }
  });
  EXPECT_EQ(raised, "Assertion failure (rwsyncs, line 191)");
  Writer writer(lock);  // the lock still works: its internal spin lock was released
  EXPECT_TRUE(writer.HeldUp()) << "another thread's read lock was released";
  reader.Run([&] { lock.ReleaseRead(); });
  writer.EnterAndRelease();
}

TEST(RWCriticalSectionConcurrency, GuardsReleaseOnException) {
  TRWCriticalSection lock;
  Worker holder;
  holder.Run([&] {
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
  });
  Writer writer(lock);  // held up for good if either guard kept its lock
  writer.EnterAndRelease();
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
  SpinUntil([&] { return destroyed || WriterWaiting(*raw); });
  EXPECT_FALSE(destroyed) << "lock destroyed while another thread read";
  reader.Run([&] { raw->ReleaseRead(); });
  destroyer.WaitDone();
  EXPECT_TRUE(destroyed);
}

// Writers keep two plain fields equal; readers, some nesting reads and some
// upgrading as lone readers, must never see them differ. Afterwards nothing
// is held: another thread writes at once.
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
  Writer after(lock);
  after.EnterAndRelease();
}

}  // namespace
}  // namespace dizora
