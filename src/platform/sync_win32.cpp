// Win32 implementation of the synchronisation primitives: critical sections,
// a manual-reset event waited on with WaitForSingleObject, GetCurrentThreadId
// and Sleep(0).
#include <windows.h>

#include <system_error>

#include "platform/sync.h"

namespace dizora::platform {

// ---- CriticalSection ------------------------------------------------------

struct CriticalSection::Impl {
  CRITICAL_SECTION section;
};

// Since Windows Vista InitializeCriticalSection cannot fail.
CriticalSection::CriticalSection() : impl_(std::make_unique<Impl>()) {
  ::InitializeCriticalSection(&impl_->section);
}

CriticalSection::~CriticalSection() { ::DeleteCriticalSection(&impl_->section); }

void CriticalSection::Enter() { ::EnterCriticalSection(&impl_->section); }

void CriticalSection::Leave() noexcept { ::LeaveCriticalSection(&impl_->section); }

// ---- ManualResetEvent -----------------------------------------------------

struct ManualResetEvent::Impl {
  HANDLE event = nullptr;
};

ManualResetEvent::ManualResetEvent(bool initially_signalled) : impl_(std::make_unique<Impl>()) {
  impl_->event = ::CreateEventA(nullptr, TRUE, initially_signalled ? TRUE : FALSE, nullptr);
  if (impl_->event == nullptr) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "CreateEventA");
  }
}

ManualResetEvent::~ManualResetEvent() { ::CloseHandle(impl_->event); }

void ManualResetEvent::Wait() {
  if (::WaitForSingleObject(impl_->event, INFINITE) != WAIT_OBJECT_0) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "WaitForSingleObject");
  }
}

void ManualResetEvent::Set() noexcept { ::SetEvent(impl_->event); }

void ManualResetEvent::Reset() noexcept { ::ResetEvent(impl_->event); }

// ---- Threads ----------------------------------------------------------------

// Windows thread identifiers are never 0 and unique among running threads.
uint32_t CurrentThreadId() noexcept { return static_cast<uint32_t>(::GetCurrentThreadId()); }

void YieldThread() noexcept { ::Sleep(0); }

}  // namespace dizora::platform
