// Library start and stop, in one place and in an explicit order: the
// root-path module, the engine base (nothing to start), the binding module,
// the engine's binding registry; stopped in reverse order.
#include "engine/rootpath.h"

namespace dizora::api {
namespace {

void StartLibrary() { RootPathModuleStart(); }

void StopLibrary() { RootPathModuleStop(); }

#if defined(_WIN32)
// DllMain calls StartLibrary/StopLibrary on process attach and detach.
#else
__attribute__((constructor)) void OnLoad() { StartLibrary(); }
__attribute__((destructor)) void OnUnload() { StopLibrary(); }
#endif

}  // namespace
}  // namespace dizora::api
