#include "common.hpp"

namespace gost {

namespace {
// Called through a volatile pointer so the stores cannot be proven dead.
void* (*const volatile g_memset)(void*, int, size_t) = std::memset;
}  // namespace

void wipe(void* p, size_t n) noexcept {
  if (p != nullptr && n != 0) g_memset(p, 0, n);
}

bool all_zero(const uint8_t* p, size_t n) noexcept {
  uint8_t acc = 0;
  for (size_t i = 0; i < n; ++i) acc |= p[i];
  return acc == 0;
}

}  // namespace gost
