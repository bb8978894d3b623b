// Platform synchronisation primitives: recursive critical section and guard,
// manual-reset event, interlocked words, thread ids. Orderings between threads
// are forced with flags spun on (with a deadline), never with sleeps; a
// primitive that leaves a thread blocked for good ends the program with a
// failure rather than hanging the suite.
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/test_sync.h"

namespace dizora::platform {
namespace {

using dz_test::AwaitOrExit;

TEST(PlatformSync, InterlockedOperationsReturnNewAndOldValues) {
  InterlockedInt32 value{0};
  EXPECT_EQ(AtomicIncrement(value), 1);
  EXPECT_EQ(AtomicIncrement(value), 2);
  EXPECT_EQ(AtomicDecrement(value), 1);
  EXPECT_EQ(AtomicDecrement(value), 0);
  EXPECT_EQ(AtomicDecrement(value), -1);
  EXPECT_EQ(AtomicExchange(value, 7), -1);
  EXPECT_EQ(value.load(), 7);
  InterlockedUInt32 word{0};
  EXPECT_EQ(AtomicExchange(word, 42u), 0u);
  EXPECT_EQ(AtomicExchange(word, 0u), 42u);
}

// Ids are non-zero, stable within a thread and distinct between live threads.
TEST(PlatformSyncConcurrency, ThreadIdsDifferBetweenLiveThreads) {
  constexpr int kThreads = 8;
  std::vector<uint32_t> ids(kThreads), again(kThreads);
  dz_test::Barrier all_alive(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ids[i] = CurrentThreadId();
      EXPECT_TRUE(all_alive.ArriveAndWait());  // keep every thread alive until all have an id
      again[i] = CurrentThreadId();
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(again, ids);
  std::set<uint32_t> distinct(ids.begin(), ids.end());
  distinct.insert(CurrentThreadId());
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads + 1));
  EXPECT_EQ(distinct.count(0u), 0u);
}

TEST(PlatformSyncConcurrency, CriticalSectionIsRecursiveAndExcludesOtherThreads) {
  CriticalSection section;
  std::atomic<bool> trying{false}, entered{false};
  section.Enter();
  section.Enter();  // the owner enters again without blocking
  std::thread other([&] {
    trying = true;
    CriticalSectionGuard guard(section);
    entered = true;
  });
  AwaitOrExit([&] { return trying.load(); }, "the other thread did not start");
  EXPECT_FALSE(entered);
  section.Leave();
  EXPECT_FALSE(entered) << "entered while the owner still held one level";
  section.Leave();
  AwaitOrExit([&] { return entered.load(); }, "the section stayed taken after the owner left both levels");
  other.join();
}

TEST(PlatformSyncConcurrency, GuardLeavesOnException) {
  CriticalSection section;
  EXPECT_THROW(
      {
        CriticalSectionGuard guard(section);
        throw std::runtime_error("inside");
      },
      std::runtime_error);
  std::atomic<bool> entered{false};
  std::thread other([&] {
    CriticalSectionGuard guard(section);
    entered = true;
  });
  AwaitOrExit([&] { return entered.load(); }, "the guard kept the section after the exception");
  other.join();
}

TEST(PlatformSyncConcurrency, CriticalSectionSerialisesUpdates) {
  CriticalSection section;
  int64_t counter = 0;  // plain: only the section protects it
  constexpr int kThreads = 4;
  constexpr int kRounds = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        CriticalSectionGuard outer(section);
        CriticalSectionGuard inner(section);
        ++counter;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, int64_t{kThreads} * kRounds);
}

TEST(PlatformSyncConcurrency, SetReleasesEveryWaiter) {
  ManualResetEvent event(false);
  constexpr int kWaiters = 4;
  std::atomic<int> started{0}, released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&] {
      started.fetch_add(1);
      event.Wait();
      released.fetch_add(1);
    });
  }
  AwaitOrExit([&] { return started.load() == kWaiters; }, "the waiters did not start");
  EXPECT_EQ(released.load(), 0) << "a waiter passed an unsignalled event";
  event.Set();
  AwaitOrExit([&] { return released.load() == kWaiters; }, "Set left a waiter blocked");
  for (auto& t : waiters) t.join();
}

// A signalled event lets every wait pass, again and again, until Reset; after
// Reset a wait blocks until the next Set.
TEST(PlatformSyncConcurrency, EventStaysSignalledUntilReset) {
  ManualResetEvent event(true);
  std::atomic<int> passed{0};
  std::atomic<bool> started{false};
  std::thread early([&] {
    event.Wait();
    event.Wait();  // manual reset: waiting does not consume the signal
    passed = 2;
  });
  AwaitOrExit([&] { return passed.load() == 2; }, "a wait on a signalled event blocked");
  early.join();

  event.Reset();
  std::thread late([&] {
    started = true;
    event.Wait();
    passed = 3;
  });
  AwaitOrExit([&] { return started.load(); }, "the waiter did not start");
  EXPECT_EQ(passed.load(), 2) << "a wait passed a reset event";
  event.Set();
  AwaitOrExit([&] { return passed.load() == 3; }, "Set after Reset left the waiter blocked");
  late.join();
}

}  // namespace
}  // namespace dizora::platform
