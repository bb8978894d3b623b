#include "gcrypt_init.hpp"

#include <gcrypt.h>

namespace gost {

bool ensure_gcrypt() {
  static const bool ready = [] {
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
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
