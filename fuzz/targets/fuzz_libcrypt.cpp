// The entry points of libcrypt.dll that take outside data. The first input
// byte picks one; the rest (zero-padded to a fixed size) is the outside data:
//   0  GOST R 34.10-2001: set_public_key (100 bytes), verify (hash 32, signature 64)
//   1  GOST R 34.10-94:   set_public_key (128 bytes), verify (hash 32, signature 64)
//   2  GOST R 34.10-2001: gen_mutual_key with an arbitrary peer key
//   3  Diffie-Hellman:    gen_mutual_key with an arbitrary peer key (128 bytes)
#include <dlfcn.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "media.h"

namespace {

using SetParms01 = int32_t (*)(void*, void*, const void*, int32_t, const void*, int32_t, const void*,
                               const void*, const void*);
using SetParms94 = int32_t (*)(void*, void*, const void*, int32_t, const void*, int32_t, const void*);
using SetParmsPka = int32_t (*)(void*, void*, const void*, int32_t, const void*);
using SetKey = int32_t (*)(void*, const void*);
using Verify = int32_t (*)(void*, const void*, const void*);
using Mutual = int32_t (*)(void*, const void*, void*);
using Gen = int32_t (*)(void*);
using Clear = int32_t (*)(void*);

void* g_lib = nullptr;

template <class F>
F Entry(const char* name) {
  void* p = dlsym(g_lib, name);
  if (p == nullptr) dzfuzz::Fail(name);
  return reinterpret_cast<F>(p);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
  std::string path = (*argv)[0];
  path = path.substr(0, path.find_last_of('/') + 1) + "libcrypt.dll";
  g_lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (g_lib == nullptr) dzfuzz::Fail("libcrypt.dll not loaded");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 1) return 0;
  std::array<uint8_t, 512> in{};
  std::memcpy(in.data(), input + 1, std::min(size - 1, in.size()));
  uint8_t state[76] = {};
  std::array<uint8_t, 256> out{};
  switch (input[0] % 4) {
    case 0: {
      std::array<uint8_t, 748> ctx{};
      Entry<SetParms01>("RuroV_LR34_10_2001_set_parms")(ctx.data(), state, nullptr, 32, nullptr, 32, nullptr,
                                                        nullptr, nullptr);
      if (Entry<SetKey>("RuroV_LR34_10_2001_set_public_key")(ctx.data(), in.data()) == 0)
        Entry<Verify>("RuroV_LR34_10_2001_verify")(ctx.data(), in.data() + 100, in.data() + 132);
      Entry<Clear>("RuroV_LR34_10_2001_clear")(ctx.data());
      break;
    }
    case 1: {
      std::array<uint8_t, 1148> ctx{};
      Entry<SetParms94>("RuroV_LR34_10_1994_set_parms")(ctx.data(), state, nullptr, 128, nullptr, 32, nullptr);
      if (Entry<SetKey>("RuroV_LR34_10_1994_set_public_key")(ctx.data(), in.data()) == 0)
        Entry<Verify>("RuroV_LR34_10_1994_verify")(ctx.data(), in.data() + 128, in.data() + 160);
      Entry<Clear>("RuroV_LR34_10_1994_clear")(ctx.data());
      break;
    }
    case 2: {
      std::array<uint8_t, 748> ctx{};
      Entry<SetParms01>("RuroV_LR34_10_2001_set_parms")(ctx.data(), state, nullptr, 32, nullptr, 32, nullptr,
                                                        nullptr, nullptr);
      Entry<Gen>("RuroV_LR34_10_2001_gen_secret_key")(ctx.data());
      Entry<Mutual>("RuroV_LR34_10_2001_gen_mutual_key")(ctx.data(), in.data(), out.data());
      Entry<Clear>("RuroV_LR34_10_2001_clear")(ctx.data());
      break;
    }
    default: {
      std::array<uint8_t, 1300> ctx{};
      Entry<SetParmsPka>("RuroV_LDH_PKA_set_parms")(ctx.data(), state, nullptr, 128, nullptr);
      Entry<Gen>("RuroV_LDH_PKA_gen_secret_key")(ctx.data());
      Entry<Mutual>("RuroV_LDH_PKA_gen_mutual_key")(ctx.data(), in.data(), out.data());
      Entry<Clear>("RuroV_LDH_PKA_clear")(ctx.data());
      break;
    }
  }
  return 0;
}
