// Known-answer self-tests run by the library's test entry points.
#pragma once

#include <cstdint>

namespace gost {

// Cipher, MAC and hash against fixed vectors: 0 or kErrSelfTest.
int32_t self_test_crypto();

// Signatures and agreement: sign/verify round trips, a fixed signature, and
// rejection of an altered one: 0 or kErrSelfTest.
int32_t self_test_sign();

}  // namespace gost
