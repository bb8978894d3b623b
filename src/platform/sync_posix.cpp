// POSIX implementation of the synchronisation primitives (pthreads).
#include "platform/sync.h"

#include <pthread.h>
#include <sched.h>

#include <cerrno>
#include <system_error>

namespace dizora::platform {

namespace {

void ThrowIfFailed(int rc, const char* what) {
  if (rc != 0) throw std::system_error(rc, std::generic_category(), what);
}

// Owns an initialised pthread mutex attribute object.
class MutexAttr {
 public:
  MutexAttr() { ThrowIfFailed(pthread_mutexattr_init(&attr_), "pthread_mutexattr_init"); }
  ~MutexAttr() { pthread_mutexattr_destroy(&attr_); }
  MutexAttr(const MutexAttr&) = delete;
  MutexAttr& operator=(const MutexAttr&) = delete;
  pthread_mutexattr_t* get() { return &attr_; }

 private:
  pthread_mutexattr_t attr_;
};

}  // namespace

// ---- CriticalSection ------------------------------------------------------

struct CriticalSection::Impl {
  pthread_mutex_t mutex;
};

CriticalSection::CriticalSection() : impl_(std::make_unique<Impl>()) {
  MutexAttr attr;
  ThrowIfFailed(pthread_mutexattr_settype(attr.get(), PTHREAD_MUTEX_RECURSIVE), "pthread_mutexattr_settype");
  ThrowIfFailed(pthread_mutex_init(&impl_->mutex, attr.get()), "pthread_mutex_init");
}

CriticalSection::~CriticalSection() { pthread_mutex_destroy(&impl_->mutex); }

void CriticalSection::Enter() { ThrowIfFailed(pthread_mutex_lock(&impl_->mutex), "pthread_mutex_lock"); }

void CriticalSection::Leave() noexcept { pthread_mutex_unlock(&impl_->mutex); }

// ---- ManualResetEvent -----------------------------------------------------

struct ManualResetEvent::Impl {
  pthread_mutex_t mutex;
  pthread_cond_t signalled_cond;
  bool signalled;
};

ManualResetEvent::ManualResetEvent(bool initially_signalled) : impl_(std::make_unique<Impl>()) {
  impl_->signalled = initially_signalled;
  ThrowIfFailed(pthread_mutex_init(&impl_->mutex, nullptr), "pthread_mutex_init");
  int rc = pthread_cond_init(&impl_->signalled_cond, nullptr);
  if (rc != 0) {
    pthread_mutex_destroy(&impl_->mutex);
    ThrowIfFailed(rc, "pthread_cond_init");
  }
}

ManualResetEvent::~ManualResetEvent() {
  pthread_cond_destroy(&impl_->signalled_cond);
  pthread_mutex_destroy(&impl_->mutex);
}

void ManualResetEvent::Wait() {
  ThrowIfFailed(pthread_mutex_lock(&impl_->mutex), "pthread_mutex_lock");
  int rc = 0;
  while (!impl_->signalled && rc == 0) rc = pthread_cond_wait(&impl_->signalled_cond, &impl_->mutex);
  pthread_mutex_unlock(&impl_->mutex);
  ThrowIfFailed(rc, "pthread_cond_wait");
}

void ManualResetEvent::Set() noexcept {
  pthread_mutex_lock(&impl_->mutex);
  impl_->signalled = true;
  pthread_cond_broadcast(&impl_->signalled_cond);
  pthread_mutex_unlock(&impl_->mutex);
}

void ManualResetEvent::Reset() noexcept {
  pthread_mutex_lock(&impl_->mutex);
  impl_->signalled = false;
  pthread_mutex_unlock(&impl_->mutex);
}

// ---- Threads ----------------------------------------------------------------

uint32_t CurrentThreadId() noexcept {
  // Identifiers are handed out once per thread from a process-wide counter,
  // skipping 0 should the counter ever wrap.
  static std::atomic<uint32_t> next_id{1};
  thread_local uint32_t id = 0;
  while (id == 0) id = next_id.fetch_add(1, std::memory_order_relaxed);
  return id;
}

void YieldThread() noexcept { sched_yield(); }

}  // namespace dizora::platform
