// The call frame of the exported functions: an exception never leaves the
// library; a null engine handle answers the export's exception value, since
// C++ cannot catch the access violation that using it would cause. Memory
// that cannot be obtained gives -8 ("not enough memory") where the exception
// value is the code -3; the size queries and Boolean answers keep theirs.
// A call that arrives after the library has stopped answers the exception
// value too (api/library.h).
#pragma once

#include <cstdint>
#include <new>

#include "api/library.h"
#include "dizora.h"
#include "engine/crypto_engine.h"

#if defined(_WIN32)
#define DZ_EXPORT extern "C"
#else
#define DZ_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace dizora::api {

inline TCryptoEngine* EngineOf(DizoraEngine handle) noexcept {
  return reinterpret_cast<TCryptoEngine*>(handle);
}

inline constexpr int32_t kSizeFailure = -1;  // a size query that failed
inline constexpr int32_t kCallFailure = DZ_E_EXCEPTION;
inline constexpr int32_t kNoMemory = DZ_E_NO_MEMORY;

// Runs op(engine) and returns its result, or on_exception when the handle is
// null, the library has stopped or anything escapes (kNoMemory instead of
// kCallFailure for memory).
template <class Op>
int32_t Call(DizoraEngine handle, int32_t on_exception, Op op) noexcept {
  const LibraryCall call;
  if (handle == nullptr || !call) return on_exception;
  try {
    return op(*EngineOf(handle));
  } catch (const std::bad_alloc&) {
    return on_exception == kCallFailure ? kNoMemory : on_exception;
  } catch (...) {
    return on_exception;
  }
}

// The same for the exports without a result.
template <class Op>
void CallVoid(DizoraEngine handle, Op op) noexcept {
  const LibraryCall call;
  if (handle == nullptr || !call) return;
  try {
    op(*EngineOf(handle));
  } catch (...) {
  }
}

// The body of a forwarding export: `expr` on the engine `e`, or `fail`.
#define DZ_FORWARD(fail, expr) \
  return ::dizora::api::Call(engine, fail, [&](::dizora::TCryptoEngine& e) -> int32_t { return expr; })
#define DZ_FORWARD_VOID(stmt) ::dizora::api::CallVoid(engine, [&](::dizora::TCryptoEngine& e) { stmt; })

}  // namespace dizora::api
