// What the processor offers the arithmetic's x86-64 rows, checked once per
// process: mulx (BMI2) with adcx/adox (ADX), and 256-bit integer vectors
// (AVX2) whose registers the system saves. On other targets every answer is
// false and only the portable rows exist.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#define GOST_X86_64_ROWS 1
#else
#define GOST_X86_64_ROWS 0
#endif

namespace gost::cpu {

inline bool has_mulx_adx() {
#if GOST_X86_64_ROWS
  static const bool ok = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return (ebx & (1u << 8)) != 0 && (ebx & (1u << 19)) != 0;  // BMI2 (mulx), ADX
  }();
  return ok;
#else
  return false;
#endif
}

inline bool has_avx2() {
#if GOST_X86_64_ROWS
  static const bool ok = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return ok;
#else
  return false;
#endif
}

}  // namespace gost::cpu
