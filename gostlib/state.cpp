#include "state.hpp"

#include <cstring>

#include "common.hpp"

namespace gost {

namespace {
constexpr uint32_t kStateTag = 0x31474E52;  // "RNG1"
constexpr size_t kTagOffset = 0;
constexpr size_t kCounterOffset = 4;
}  // namespace

int32_t touch_state(void* state) {
  if (state == nullptr) return kErrNullPointer;
  auto* bytes = static_cast<uint8_t*>(state);
  if (load_le32(bytes + kTagOffset) != kStateTag) {
    std::memset(bytes, 0, kStateSize);
    store_le32(bytes + kTagOffset, kStateTag);
  }
  store_le64(bytes + kCounterOffset, load_le64(bytes + kCounterOffset) + 1);
  return kOk;
}

uint64_t state_counter(const void* state) {
  const auto* bytes = static_cast<const uint8_t*>(state);
  if (state == nullptr || load_le32(bytes + kTagOffset) != kStateTag) return 0;
  return load_le64(bytes + kCounterOffset);
}

}  // namespace gost
