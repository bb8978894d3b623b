// libgcrypt, the source of the library's random numbers: one-time
// initialisation.
#pragma once

namespace gost {

// Initialises libgcrypt once per process (thread-safe), with secure memory
// for secret values. False when the library is unusable.
bool ensure_gcrypt();

}  // namespace gost
