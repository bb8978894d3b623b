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

// The three kinds of public-key context with their built-in parameters: the
// GOST R 34.10-2001 and 34.10-94 signatures and the agreement of 34.10-94.
struct Gost2001 {
  static constexpr const char* kPrefix = "LR34_10_2001";
  static constexpr size_t kContext = 748, kSecret = 32, kPublic = 100;
  static constexpr bool kSigns = true, kAgrees = true;
  static int32_t set_parms(void* ctx, void* state) {
    return lib().fn<Set01Fn>("RuroV_LR34_10_2001_set_parms")(ctx, state, nullptr, 32, nullptr, 32, nullptr, nullptr,
                                                              nullptr);
  }
};
struct Gost94 {
  static constexpr const char* kPrefix = "LR34_10_1994";
  static constexpr size_t kContext = 1148, kSecret = 32, kPublic = 128;
  static constexpr bool kSigns = true, kAgrees = false;
  static int32_t set_parms(void* ctx, void* state) {
    return lib().fn<Set94Fn>("RuroV_LR34_10_1994_set_parms")(ctx, state, nullptr, 128, nullptr, 32, nullptr);
  }
};
struct Pka94 {
  static constexpr const char* kPrefix = "LDH_PKA";
  static constexpr size_t kContext = 1300, kSecret = 128, kPublic = 128;
  static constexpr bool kSigns = false, kAgrees = true;
  static int32_t set_parms(void* ctx, void* state) {
    return lib().fn<SetPkaFn>("RuroV_LDH_PKA_set_parms")(ctx, state, nullptr, 128, nullptr);
  }
};

// Contexts of kind K and the key calls the tests make on them.
template <class K>
class KeyContext : public ::testing::Test {
 protected:
  using Context = std::array<uint8_t, K::kContext>;

  template <class F>
  static F fn(const char* op) {
    return lib().fn<F>((std::string("RuroV_") + K::kPrefix + "_" + op).c_str());
  }
  // A context with the built-in parameters.
  Context fresh() {
    Context ctx{};
    EXPECT_EQ(K::set_parms(ctx.data(), state), 0);
    return ctx;
  }
  // One key out of a context, of its full size.
  static Bytes get(GetKeyFn getter, Context& ctx, size_t size) {
    Bytes out(size, 0xEE);
    int32_t len = int32_t(size);
    EXPECT_EQ(getter(ctx.data(), out.data(), &len), 0);
    EXPECT_EQ(len, int32_t(size));
    return out;
  }
  // A key pair the library generates.
  void generate(Bytes& secret, Bytes& pub) {
    auto ctx = fresh();
    ASSERT_EQ(gen_secret(ctx.data()), 0);
    ASSERT_EQ(gen_public(ctx.data()), 0);
    secret = get(get_secret, ctx, K::kSecret);
    pub = get(get_public, ctx, K::kPublic);
    EXPECT_EQ(clear(ctx.data()), 0);
  }
  // The public key the library derives from a secret.
  Bytes public_of(const Bytes& secret) {
    auto ctx = fresh();
    EXPECT_EQ(set_secret(ctx.data(), secret.data()), 0);
    EXPECT_EQ(gen_public(ctx.data()), 0);
    const Bytes pub = get(get_public, ctx, K::kPublic);
    EXPECT_EQ(clear(ctx.data()), 0);
    return pub;
  }

  GenFn gen_secret = fn<GenFn>("gen_secret_key");
  GenFn gen_public = fn<GenFn>("gen_public_key");
  GetKeyFn get_secret = fn<GetKeyFn>("get_secret_key");
  GetKeyFn get_public = fn<GetKeyFn>("get_public_key");
  SetKeyFn set_secret = fn<SetKeyFn>("set_secret_key");
  ClearFn clear = fn<ClearFn>("clear");
  uint8_t state[kStateSize] = {};
};

// A signature kind: signing with a secret, verifying under a public key (a
// key the context refuses answers 100 + its code).
template <class K>
class SignContext : public KeyContext<K> {
 protected:
  Bytes sign(const Bytes& secret, const Bytes& digest) {
    auto ctx = this->fresh();
    Bytes sig(64);
    EXPECT_EQ(this->set_secret(ctx.data(), secret.data()), 0);
    EXPECT_EQ(sign_fn(ctx.data(), digest.data(), sig.data()), 0);
    this->clear(ctx.data());
    return sig;
  }
  int32_t verify(const Bytes& pub, const Bytes& digest, const Bytes& sig) {
    auto ctx = this->fresh();
    const int32_t set = set_public(ctx.data(), pub.data());
    if (set != 0) return 100 + set;
    const int32_t rc = verify_fn(ctx.data(), digest.data(), sig.data());
    this->clear(ctx.data());
    return rc;
  }

  SetKeyFn set_public = this->template fn<SetKeyFn>("set_public_key");
  SignFn sign_fn = this->template fn<SignFn>("sign");
  VerifyFn verify_fn = this->template fn<VerifyFn>("verify");
};

}  // namespace gosttest
