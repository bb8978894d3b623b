// Platform synchronisation primitives: recursive critical section and guard,
// manual-reset event, interlocked words, thread ids. Orderings between threads
// are forced with latches and flags spun on, never with sleeps.
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace dizora::platform {
namespace {

template <typename Pred>
void SpinUntil(Pred done) {
  while (!done()) std::this_thread::yield();
}

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

TEST(PlatformSync, ThreadIdIsNonZeroAndStable) {
  const uint32_t id = CurrentThreadId();
  EXPECT_NE(id, 0u);
  EXPECT_EQ(CurrentThreadId(), id);
}

TEST(PlatformSync, GuardLeavesOnException) {
  CriticalSection section;
  EXPECT_THROW(
      {
        CriticalSectionGuard guard(section);
        throw std::runtime_error("inside");
      },
      std::runtime_error);
  // Another thread can take the section, so the guard left it.
  std::thread other([&] {
    CriticalSectionGuard guard(section);
  });
  other.join();
}

TEST(PlatformSync, SignalledEventStaysSignalledUntilReset) {
  ManualResetEvent event(true);
  event.Wait();
  event.Wait();  // manual reset: waiting does not consume the signal
  event.Reset();
  event.Set();
  event.Wait();
}

TEST(PlatformSyncConcurrency, ThreadIdsDifferBetweenLiveThreads) {
  constexpr int kThreads = 8;
  std::vector<uint32_t> ids(kThreads);
  std::latch all_alive(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ids[i] = CurrentThreadId();
      all_alive.arrive_and_wait();  // keep every thread alive until all have an id
    });
  }
  for (auto& t : threads) t.join();
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
  SpinUntil([&] { return trying.load(); });
  EXPECT_FALSE(entered);
  section.Leave();
  EXPECT_FALSE(entered) << "entered while the owner still held one level";
  section.Leave();
  other.join();
  EXPECT_TRUE(entered);
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

TEST(PlatformSyncConcurrency, InterlockedIncrementsFromManyThreadsAllCount) {
  InterlockedInt32 value{0};
  constexpr int kThreads = 4;
  constexpr int kRounds = 50000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        AtomicIncrement(value);
        AtomicIncrement(value);
        AtomicDecrement(value);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(value.load(), kThreads * kRounds);
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
  SpinUntil([&] { return started.load() == kWaiters; });
  EXPECT_EQ(released.load(), 0) << "a waiter passed an unsignalled event";
  event.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), kWaiters);
}

TEST(PlatformSyncConcurrency, ResetMakesLaterWaitsBlockAgain) {
  ManualResetEvent event(true);
  event.Reset();
  std::atomic<bool> started{false}, passed{false};
  std::thread waiter([&] {
    started = true;
    event.Wait();
    passed = true;
  });
  SpinUntil([&] { return started.load(); });
  EXPECT_FALSE(passed);
  event.Set();
  waiter.join();
  EXPECT_TRUE(passed);
}

TEST(PlatformSyncConcurrency, YieldingSpinLockProtectsData) {
  // The spin-lock pattern the reader-writer lock uses: exchange the owner id
  // in, yield while another thread holds the word.
  InterlockedUInt32 word{0};
  int64_t counter = 0;
  constexpr int kThreads = 3;
  constexpr int kRounds = 5000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      const uint32_t id = CurrentThreadId();
      for (int i = 0; i < kRounds; ++i) {
        while (AtomicExchange(word, id) != 0) YieldThread();
        ++counter;
        word.store(0);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, int64_t{kThreads} * kRounds);
}

}  // namespace
}  // namespace dizora::platform
