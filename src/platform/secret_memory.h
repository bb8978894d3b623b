// Memory for secret keys: kept out of core dumps and locked against paging
// where the platform allows it, and wiped with the platform's guaranteed
// wipe.
#pragma once

#include <cstddef>

namespace dizora::platform {

// `size` zero-filled bytes on pages of their own. POSIX: excluded from core
// dumps (MADV_DONTDUMP) and locked in memory (mlock); Windows: locked in the
// working set (VirtualLock). A refused lock or exclusion is not an error: the
// memory is handed out all the same. Null when no memory can be had.
void* AllocateSecretPages(std::size_t size) noexcept;

// Wipes, unlocks and frees memory of AllocateSecretPages. Null is allowed.
void FreeSecretPages(void* data, std::size_t size) noexcept;

// Overwrites `size` bytes with zeros in a way the compiler may not remove
// (explicit_bzero, SecureZeroMemory). Null is allowed.
void ZeroSecret(void* data, std::size_t size) noexcept;

}  // namespace dizora::platform
