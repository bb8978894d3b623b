// Random numbers from libgcrypt's strong generator.
#include <gcrypt.h>

#include "asym.hpp"
#include "common.hpp"
#include "gcrypt_init.hpp"
#include "state.hpp"

namespace gost {

int32_t random_fill(void* state, void* buffer, int32_t length) {
  if (state == nullptr) return kErrNullPointer;
  touch_state(state);
  if (length < 0) return kErrArgument;
  if (length == 0) return kOk;
  if (buffer == nullptr) return kErrNullPointer;
  if (!ensure_gcrypt()) return kErrInternal;
  gcry_randomize(buffer, size_t(length), GCRY_STRONG_RANDOM);
  return kOk;
}

}  // namespace gost
