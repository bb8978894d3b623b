#include "sbox.hpp"

#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

#include "common.hpp"

namespace gost {

namespace {

constexpr uint32_t kCacheSlots = 64;

bool rows_are_permutations(const uint8_t* table) {
  for (int row = 0; row < 8; ++row) {
    unsigned seen = 0;
    for (int i = 0; i < 16; ++i) {
      const uint8_t v = table[row * 16 + i];
      if (v > 15) return false;
      seen |= 1u << v;
    }
    if (seen != 0xFFFFu) return false;
  }
  return true;
}

uint32_t rotl11(uint32_t v) { return v << 11 | v >> 21; }

// Row Ki of the caller's block (stored K8 first).
const uint8_t* row(const uint8_t* table, int i) { return table + (8 - i) * 16; }

std::unique_ptr<ExpandedSbox> expand(const uint8_t* table) {
  auto out = std::make_unique<ExpandedSbox>();
  for (int b = 0; b < 4; ++b) {
    const uint8_t* lo = row(table, 2 * b + 1);
    const uint8_t* hi = row(table, 2 * b + 2);
    for (uint32_t x = 0; x < 256; ++x) {
      const uint32_t sub = uint32_t(hi[x >> 4]) << 4 | lo[x & 15];
      out->t[b][x] = rotl11(sub << (8 * b));
    }
  }
  return out;
}

// Append-only: an entry, once published by raising count, never changes or
// goes away while the library is loaded, so lookups need no lock.
class SboxCache {
 public:
  int32_t acquire(const uint8_t* table, uint32_t* index) {
    if (const int64_t found = find(table, count_.load(std::memory_order_acquire)); found >= 0) {
      *index = uint32_t(found);
      return kOk;
    }
    if (!rows_are_permutations(table)) return kErrArgument;
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t n = count_.load(std::memory_order_relaxed);
    if (const int64_t found = find(table, n); found >= 0) {
      *index = uint32_t(found);
      return kOk;
    }
    if (n == kCacheSlots) return kErrArgument;
    std::memcpy(raw_[n].data(), table, kSboxBytes);
    expanded_[n] = expand(table);
    count_.store(n + 1, std::memory_order_release);
    *index = n;
    return kOk;
  }

  const ExpandedSbox* at(uint32_t index) const {
    if (index >= count_.load(std::memory_order_acquire)) return nullptr;
    return expanded_[index].get();
  }

 private:
  int64_t find(const uint8_t* table, uint32_t n) const {
    for (uint32_t i = 0; i < n; ++i) {
      if (std::memcmp(raw_[i].data(), table, kSboxBytes) == 0) return i;
    }
    return -1;
  }

  std::mutex mutex_;
  std::atomic<uint32_t> count_{0};
  std::array<std::array<uint8_t, kSboxBytes>, kCacheSlots> raw_{};
  std::array<std::unique_ptr<ExpandedSbox>, kCacheSlots> expanded_{};
};

SboxCache& cache() {
  static SboxCache instance;
  return instance;
}

}  // namespace

int32_t acquire_sbox(const uint8_t* table, uint32_t* index) { return cache().acquire(table, index); }

const ExpandedSbox* sbox_at(uint32_t index) { return cache().at(index); }

}  // namespace gost
