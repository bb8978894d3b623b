// Constant-time check of the MAC comparison, ctgrind style: run under
// valgrind memcheck, the two MACs are marked undefined before they are
// compared, so every branch or conditional move that depends on their bytes
// is reported ("Conditional jump or move depends on uninitialised value").
// The result is made defined again before the program looks at it.
//
//   mac_compare_ctgrind constant   the engine's comparison: no report expected
//   mac_compare_ctgrind leaky      an early-exit comparison: reports expected,
//                                  which shows the check can see a leak
//
// Every mode also checks the answers (equal MACs, and a difference at every
// position); a wrong answer ends the program with code 2.
#include <valgrind/memcheck.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "support/secure.h"

namespace {

constexpr std::size_t kMacSize = 8;

using Compare = bool (*)(const std::uint8_t*, const std::uint8_t*, std::size_t);

// The comparison a careless implementation would write: it stops at the
// first difference. Not inlined, so valgrind's report names it.
__attribute__((noinline)) bool EarlyExitCompare(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

bool EngineCompare(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) {
  return dizora::support::ConstantTimeEqual(a, b, size);
}

// Compares copies of `a` and `b` whose bytes are marked undefined.
bool CompareSecretly(Compare compare, const std::uint8_t* a, const std::uint8_t* b) {
  std::uint8_t x[kMacSize];
  std::uint8_t y[kMacSize];
  std::memcpy(x, a, kMacSize);
  std::memcpy(y, b, kMacSize);
  VALGRIND_MAKE_MEM_UNDEFINED(x, kMacSize);
  VALGRIND_MAKE_MEM_UNDEFINED(y, kMacSize);
  bool same = compare(x, y, kMacSize);
  VALGRIND_MAKE_MEM_DEFINED(&same, sizeof same);
  return same;
}

int Run(Compare compare) {
  const std::uint8_t mac[kMacSize] = {0x3a, 0x91, 0x07, 0xc4, 0x5e, 0xf2, 0x18, 0x6b};
  int wrong = 0;
  if (!CompareSecretly(compare, mac, mac)) {
    std::fprintf(stderr, "equal MACs compared unequal\n");
    ++wrong;
  }
  for (std::size_t position = 0; position < kMacSize; ++position) {
    std::uint8_t other[kMacSize];
    std::memcpy(other, mac, kMacSize);
    other[position] ^= 0x01;
    if (CompareSecretly(compare, mac, other)) {
      std::fprintf(stderr, "a difference at byte %zu was not seen\n", position);
      ++wrong;
    }
  }
  return wrong == 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "constant") == 0) return Run(EngineCompare);
  if (argc == 2 && std::strcmp(argv[1], "leaky") == 0) return Run(EarlyExitCompare);
  std::fprintf(stderr, "%s: unknown mode (constant or leaky)\n", argv[0]);
  return 64;
}
