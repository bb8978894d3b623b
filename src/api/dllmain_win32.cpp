// Windows entry point of the engine library: starts the library's modules on
// process attach and stops them on detach (api/library.h). Thread attach and
// detach do nothing.
//
// The signature is the loader's: BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID),
// spelt with the underlying types so that no system header is needed here.
#include "api/library.h"

namespace {

constexpr unsigned long kProcessDetach = 0;  // DLL_PROCESS_DETACH
constexpr unsigned long kProcessAttach = 1;  // DLL_PROCESS_ATTACH

}  // namespace

extern "C" int __stdcall DllMain(void* /*instance*/, unsigned long reason, void* reserved) {
  switch (reason) {
    case kProcessAttach:
      try {
        dizora::api::StartLibrary();
      } catch (...) {
        return 0;  // the load fails instead of leaving a half-started library
      }
      return 1;
    case kProcessDetach:
      // A non-null `reserved` means the process is ending: the other threads
      // are gone, possibly inside the engine's locks, and the libraries it
      // loaded may be detached already. The system reclaims everything then,
      // so the stop runs only when the host unloads the library.
      if (reserved == nullptr) dizora::api::StopLibrary();
      return 1;
    default:
      return 1;
  }
}
