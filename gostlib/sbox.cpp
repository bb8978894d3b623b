#include "sbox.hpp"

#include <array>
#include <atomic>
#include <cstring>
#include <thread>
#include <type_traits>

#include "common.hpp"

namespace gost {

namespace {

using RawTable = std::array<uint8_t, kSboxBytes>;  // the caller's layout: rows K8 first
using Rows = uint8_t[8][16];                       // rows K1..K8

// The standard tables, rows K1..K8: the GOST R 34.11-94 test parameter set
// (the one the engine and the self-test use) and the CryptoPro parameter set
// of GOST R 34.11-94 (RFC 4357).
constexpr Rows kTestRows = {
    {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3},  {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},
    {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11},  {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},
    {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2},  {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},
    {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12},  {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12},
};
constexpr Rows kCryptoProRows = {
    {10, 4, 5, 6, 8, 1, 3, 7, 13, 12, 14, 0, 9, 2, 11, 15}, {5, 15, 4, 0, 2, 13, 11, 9, 1, 7, 6, 3, 12, 14, 10, 8},
    {7, 15, 12, 14, 9, 4, 1, 0, 3, 11, 5, 2, 6, 10, 8, 13}, {4, 10, 7, 12, 0, 15, 2, 8, 14, 1, 6, 5, 13, 11, 9, 3},
    {7, 6, 4, 11, 9, 12, 2, 10, 1, 8, 0, 14, 15, 13, 3, 5}, {7, 6, 2, 4, 13, 9, 15, 0, 10, 1, 5, 11, 8, 14, 12, 3},
    {13, 14, 4, 1, 7, 0, 5, 10, 3, 12, 8, 15, 6, 2, 9, 11}, {1, 3, 10, 9, 5, 11, 4, 15, 8, 6, 7, 14, 13, 0, 2, 12},
};

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

constexpr uint32_t rotl11(uint32_t v) { return v << 11 | v >> 21; }

// Row Ki of a table in the caller's layout (stored K8 first).
constexpr const uint8_t* row(const uint8_t* table, int i) { return table + (8 - i) * 16; }

constexpr void expand_into(const uint8_t* table, ExpandedSbox& out) {
  for (int b = 0; b < 4; ++b) {
    const uint8_t* lo = row(table, 2 * b + 1);
    const uint8_t* hi = row(table, 2 * b + 2);
    for (uint32_t x = 0; x < 256; ++x) {
      const uint32_t sub = uint32_t(hi[x >> 4]) << 4 | lo[x & 15];
      out.t[b][x] = rotl11(sub << (8 * b));
    }
  }
}

struct StandardTable {
  RawTable raw{};
  ExpandedSbox expanded{};
};

constexpr StandardTable make_standard(const Rows& rows) {
  StandardTable s;
  for (int i = 1; i <= 8; ++i) {
    for (int j = 0; j < 16; ++j) s.raw[size_t((8 - i) * 16 + j)] = rows[i - 1][j];
  }
  expand_into(s.raw.data(), s.expanded);
  return s;
}

// Expanded at compile time into read-only data: always served, whatever the
// cache holds, and nothing to create or destroy.
constexpr std::array<StandardTable, 2> kStandard = {make_standard(kTestRows), make_standard(kCryptoProRows)};
constexpr uint32_t kStandardCount = uint32_t(kStandard.size());

// Holds a spin lock for its scope: taken only to add a table, which happens
// once per table and process.
class SpinGuard {
 public:
  explicit SpinGuard(std::atomic_flag& flag) : flag_(flag) {
    while (flag_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  ~SpinGuard() { flag_.clear(std::memory_order_release); }
  SpinGuard(const SpinGuard&) = delete;
  SpinGuard& operator=(const SpinGuard&) = delete;

 private:
  std::atomic_flag& flag_;
};

// The other tables, in order of first use after the standard ones. Append-
// only: an entry, once published by raising count, never changes or goes
// away while the library is loaded, so lookups need no lock. It lives in
// static storage and has no destructor: a host thread may still be
// encrypting while the process exits and the library's destructors run.
class SboxCache {
 public:
  constexpr SboxCache() = default;

  int32_t acquire(const uint8_t* table, uint32_t* index) {
    if (const int64_t found = find(table, count_.load(std::memory_order_acquire)); found >= 0) {
      *index = kStandardCount + uint32_t(found);
      return kOk;
    }
    if (!rows_are_permutations(table)) return kErrArgument;
    SpinGuard guard(adding_);
    const uint32_t n = count_.load(std::memory_order_relaxed);
    if (const int64_t found = find(table, n); found >= 0) {
      *index = kStandardCount + uint32_t(found);
      return kOk;
    }
    if (n == kCacheSlots) return kErrArgument;
    std::memcpy(raw_[n].data(), table, kSboxBytes);
    expand_into(table, expanded_[n]);
    count_.store(n + 1, std::memory_order_release);
    *index = kStandardCount + n;
    return kOk;
  }

  const ExpandedSbox* at(uint32_t slot) const {
    if (slot >= count_.load(std::memory_order_acquire)) return nullptr;
    return &expanded_[slot];
  }

 private:
  int64_t find(const uint8_t* table, uint32_t n) const {
    for (uint32_t i = 0; i < n; ++i) {
      if (std::memcmp(raw_[i].data(), table, kSboxBytes) == 0) return i;
    }
    return -1;
  }

  std::atomic_flag adding_;
  std::atomic<uint32_t> count_{0};
  std::array<RawTable, kCacheSlots> raw_{};
  std::array<ExpandedSbox, kCacheSlots> expanded_{};
};

static_assert(std::is_trivially_destructible_v<SboxCache>, "the cache must never be destroyed");

constinit SboxCache g_cache;

}  // namespace

int32_t acquire_sbox(const uint8_t* table, uint32_t* index) {
  for (uint32_t i = 0; i < kStandardCount; ++i) {
    if (std::memcmp(kStandard[i].raw.data(), table, kSboxBytes) == 0) {
      *index = i;
      return kOk;
    }
  }
  return g_cache.acquire(table, index);
}

const ExpandedSbox* sbox_at(uint32_t index) {
  if (index < kStandardCount) return &kStandard[index].expanded;
  return g_cache.at(index - kStandardCount);
}

}  // namespace gost
