#include "gcrypt_init.hpp"

#include <gcrypt.h>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace gost {

namespace {

// libgcrypt never frees what its initialisation and its random generator
// allocate. Unloaded together with this library, all of that would be lost at
// every unload (a host that loads and unloads the engine repeatedly would
// leak a little each time), so libgcrypt stays loaded for the life of the
// process once it has been used. On Windows it is linked into this library.
void keep_gcrypt_loaded() {
#if !defined(_WIN32)
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&gcry_check_version), &info) == 0 || info.dli_fname == nullptr) return;
  (void)dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif
}

}  // namespace

bool ensure_gcrypt() {
  static const bool ready = [] {
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
    keep_gcrypt_loaded();
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P) == 0) {
      // First user in the process: set up secure memory that grows on demand.
      gcry_control(GCRYCTL_DISABLE_SECMEM_WARN);
      gcry_control(GCRYCTL_AUTO_EXPAND_SECMEM, 65536u);
      gcry_control(GCRYCTL_INIT_SECMEM, 65536, 0);
      gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    }
    return true;
  }();
  return ready;
}

}  // namespace gost
