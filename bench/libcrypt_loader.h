// libcrypt.dll loaded by path for the benchmark programs, as the engine loads
// it: the entry-point signatures, a lookup by name and the parameter block
// the engine hands the library.
#pragma once

#include <dlfcn.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace dz_bench {

using InitFn = int32_t (*)(void*, const void*, void*, const void*, const void*);
using CryptFn = int32_t (*)(void*, const void*, void*, int32_t);
using UpdateFn = int32_t (*)(void*, const void*, int32_t);
using FinalFn = int32_t (*)(void*, void*);
using ClearFn = int32_t (*)(void*);
using HashInitFn = int32_t (*)(void*, const void*, void*, const void*);
using Set94Fn = int32_t (*)(void*, void*, const void*, int32_t, const void*, int32_t, const void*);
using Set01Fn = int32_t (*)(void*, void*, const void*, int32_t, const void*, int32_t, const void*, const void*,
                            const void*);
using SetPkaFn = int32_t (*)(void*, void*, const void*, int32_t, const void*);
using GenFn = int32_t (*)(void*);
using GetKeyFn = int32_t (*)(void*, void*, int32_t*);
using SetKeyFn = int32_t (*)(void*, const void*);
using SignFn = int32_t (*)(void*, const void*, void*);
using MutualFn = int32_t (*)(void*, const void*, void*);

// The handle of build/bin/libcrypt.dll, loaded on first use.
inline void* libcrypt_handle() {
  static void* handle = [] {
    void* h = dlopen(DZ_BIN_DIR "/libcrypt.dll", RTLD_NOW);
    if (h == nullptr) throw std::runtime_error("cannot load libcrypt.dll");
    return h;
  }();
  return handle;
}

// The entry point `name` of `library`.
template <class F>
F entry(void* library, const std::string& name) {
  void* p = dlsym(library, name.c_str());
  if (p == nullptr) throw std::runtime_error(name);
  return reinterpret_cast<F>(p);
}

// The parameter block the engine hands the library: the test substitution
// table of GOST R 34.11-94 (OID 1.2.643.2.2.30.0), rows stored last to first.
inline const std::array<uint8_t, 4228>& default_params() {
  static const std::array<uint8_t, 4228> block = [] {
    static const uint8_t rows[8][16] = {
        {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3}, {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},
        {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11}, {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},
        {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2}, {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},
        {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12}, {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12},
    };
    std::array<uint8_t, 4228> b{};
    for (int i = 1; i <= 8; ++i) std::memcpy(b.data() + (8 - i) * 16, rows[i - 1], 16);
    return b;
  }();
  return block;
}

}  // namespace dz_bench
