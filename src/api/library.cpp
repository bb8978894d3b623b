// Library start and stop, in one place and in an explicit order: the
// root-path module, the engine base (nothing to start), the binding module,
// the engine's binding registry; stopped in reverse order.
#include "api/library.h"

#include <atomic>
#include <cstdint>

#include "engine/binding_registry.h"
#include "binding/crypto_c_dll.h"
#include "support/root_path.h"

namespace dizora::api {

namespace {

// Calls inside the library, and whether it has stopped. Both are plain
// atomics: constant-initialised, never destroyed.
constinit std::atomic<int32_t> g_calls{0};
constinit std::atomic<bool> g_stopped{false};

}  // namespace

// A call counts itself in before it looks at the stop flag, and the stop sets
// the flag before it counts the calls (both sequentially consistent): either
// the stop sees the call, or the call sees the stop.
bool EnterLibrary() noexcept {
  g_calls.fetch_add(1);
  if (!g_stopped.load()) return true;
  g_calls.fetch_sub(1);
  return false;
}

void LeaveLibrary() noexcept { g_calls.fetch_sub(1); }

// Each module's start is safe to repeat and each stop tolerates a module that
// never started, so a start that failed half-way leaves a library that the
// stop can still take down (the modules create what is missing on first use).
void StartLibrary() {
  g_stopped.store(false);
  RootPathModuleStart();
  RurovModuleStart();
  BindingRegistryStart();
}

// The registry destroys its bindings before the binding module frees the
// library they point into.
void StopLibrary() noexcept {
  g_stopped.store(true);
  if (g_calls.load() != 0) return;  // the process is ending under a host thread
  BindingRegistryStop();
  RurovModuleStop();
  RootPathModuleStop();
}

#if !defined(_WIN32)
// On Windows DllMain (dllmain_win32.cpp) calls these on process attach and
// detach.
namespace {
__attribute__((constructor)) void OnLoad() {
  try {
    StartLibrary();
  } catch (...) {
    // What could not be created now is created by its first use.
  }
}
__attribute__((destructor)) void OnUnload() { StopLibrary(); }
}  // namespace
#endif

}  // namespace dizora::api
