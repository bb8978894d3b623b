// Library start and stop, in one place and in an explicit order: the
// root-path module, the engine base (nothing to start), the binding module,
// the engine's binding registry; stopped in reverse order.
#include "api/library.h"

#include "engine/binding_registry.h"
#include "binding/crypto_c_dll.h"
#include "support/root_path.h"

namespace dizora::api {

void StartLibrary() {
  RootPathModuleStart();
  RurovModuleStart();
  BindingRegistryStart();
}

// The registry destroys its bindings before the binding module frees the
// library they point into.
void StopLibrary() {
  BindingRegistryStop();
  RurovModuleStop();
  RootPathModuleStop();
}

#if !defined(_WIN32)
// On Windows DllMain (dllmain_win32.cpp) calls these on process attach and
// detach.
namespace {
__attribute__((constructor)) void OnLoad() { StartLibrary(); }
__attribute__((destructor)) void OnUnload() { StopLibrary(); }
}  // namespace
#endif

}  // namespace dizora::api
