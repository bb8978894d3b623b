// Loads a build of the GOST library by path, as the engine does, and gives
// typed access to its entry points; reads the committed reference vectors;
// plus helpers shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dynlib.h"
#include "vectors/common.hpp"

namespace gosttest {

using gostvec::Bytes;
using gostvec::from_hex;
using gostvec::le_of;
using gostvec::to_hex;

constexpr size_t kParamBlockSize = 4228;
constexpr size_t kStateSize = 76;

class Library {
 public:
  explicit Library(const std::string& file)
      : module_(dizora::platform::LoadModule(std::string(DZ_BIN_DIR) + "/" + file)) {}

  bool loaded() const { return static_cast<bool>(module_); }
  void* raw(const char* name) const { return dizora::platform::FindModuleSymbol(module_.get(), name); }

  // The entry point `name` typed as F; fails the test when it is absent.
  template <class F>
  F fn(const char* name) const {
    void* p = raw(name);
    EXPECT_NE(p, nullptr) << name;
    return reinterpret_cast<F>(p);
  }

 private:
  dizora::platform::ScopedModule module_;
};

// The main library, loaded once for the whole test program.
const Library& lib();

// Entry-point types, as the engine declares them.
using InitFn = int32_t (*)(void*, const void*, void*, const void*, const void*);
using BlockInitFn = int32_t (*)(void*, const void*, void*, const void*);
using ClearFn = int32_t (*)(void*);
using CryptFn = int32_t (*)(void*, const void*, void*, int32_t);
using UpdateFn = int32_t (*)(void*, const void*, int32_t);
using FinalFn = int32_t (*)(void*, void*);
using HashInitFn = int32_t (*)(void*, const void*, void*, const void*);
using Set94Fn = int32_t (*)(void*, void*, const void*, int32_t, const void*, int32_t, const void*);
using Set01Fn = int32_t (*)(void*, void*, const void*, int32_t, const void*, int32_t, const void*, const void*,
                            const void*);
using SetPkaFn = int32_t (*)(void*, void*, const void*, int32_t, const void*);
using GenFn = int32_t (*)(void*);
using GetKeyFn = int32_t (*)(void*, void*, int32_t*);
using SetKeyFn = int32_t (*)(void*, const void*);
using SignFn = int32_t (*)(void*, const void*, void*);
using VerifyFn = int32_t (*)(void*, const void*, const void*);
using MutualFn = int32_t (*)(void*, const void*, void*);
using RandomFn = int32_t (*)(void*, void*, int32_t);
using SelfTestFn = int32_t (*)(void);

// The GOST R 34.11-94 test table as the engine passes it: rows K8..K1.
std::array<uint8_t, kParamBlockSize> test_params();
// The CryptoPro table of GOST R 34.11-94 (RFC 4357), laid out the same way.
std::array<uint8_t, kParamBlockSize> cryptopro_params();

// The lines of one kind in a vector file of tests/gostlib/vectors (written
// by vectors/generate.cpp), each as its fields after the kind; "-" reads as
// the empty string. A missing file or kind fails the test.
// A field past the end of its line fails the test and reads as empty.
struct Row : std::vector<std::string> {
  const std::string& operator[](size_t i) const {
    static const std::string none;
    if (i < size()) return at(i);
    ADD_FAILURE() << "a vector line with " << size() << " fields has no field " << i;
    return none;
  }
};
const std::vector<Row>& vectors(const std::string& file, const std::string& kind);

Bytes random_bytes(size_t n, uint32_t seed);
Bytes reversed(Bytes b);

// The library's hash of data, fed in pieces of at most `piece` bytes, with
// the test table or the given one.
Bytes lib_hash(const Bytes& data, size_t piece = 65535);
Bytes lib_hash_with(const std::array<uint8_t, kParamBlockSize>& params, const Bytes& data, size_t piece = 65535);

}  // namespace gosttest
