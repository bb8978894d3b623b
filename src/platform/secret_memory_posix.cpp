// POSIX secret memory: anonymous private pages, excluded from core dumps
// where the kernel offers it (Linux MADV_DONTDUMP) and locked with mlock.
#include <string.h>
#include <sys/mman.h>

#include "platform/secret_memory.h"

namespace dizora::platform {

void* AllocateSecretPages(std::size_t size) noexcept {
  if (size == 0) return nullptr;
  void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) return nullptr;
#ifdef MADV_DONTDUMP
  ::madvise(data, size, MADV_DONTDUMP);
#endif
  // Beyond RLIMIT_MEMLOCK the lock is refused; the key then may be paged out.
  ::mlock(data, size);
  return data;
}

void FreeSecretPages(void* data, std::size_t size) noexcept {
  if (data == nullptr || size == 0) return;
  ZeroSecret(data, size);
  ::munlock(data, size);
  ::munmap(data, size);
}

void ZeroSecret(void* data, std::size_t size) noexcept {
  if (data != nullptr && size != 0) ::explicit_bzero(data, size);
}

}  // namespace dizora::platform
