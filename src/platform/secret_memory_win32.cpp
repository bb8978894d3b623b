// Windows secret memory: committed pages locked in the process's working set.
// Windows has no per-page exclusion from crash dumps; the pages are wiped as
// soon as the key is dropped.
#include <windows.h>

#include "platform/secret_memory.h"

namespace dizora::platform {

void* AllocateSecretPages(std::size_t size) noexcept {
  if (size == 0) return nullptr;
  void* data = ::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (data == nullptr) return nullptr;
  // Beyond the working-set quota the lock is refused; the key then may be paged out.
  ::VirtualLock(data, size);
  return data;
}

void FreeSecretPages(void* data, std::size_t size) noexcept {
  if (data == nullptr || size == 0) return;
  ZeroSecret(data, size);
  ::VirtualUnlock(data, size);
  ::VirtualFree(data, 0, MEM_RELEASE);
}

void ZeroSecret(void* data, std::size_t size) noexcept {
  if (data != nullptr && size != 0) ::SecureZeroMemory(data, size);
}

}  // namespace dizora::platform
