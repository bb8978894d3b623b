// TCryptoC_DLL: the check that a loaded secret key belongs to the public-key
// file beside it. A key of another pair (the other party's file, one changed
// bit) would sign and report success while every peer refuses the
// signatures, and would never decrypt what peers encrypt for the user.
#include <cstring>

#include "binding/crypto_c_dll.h"
#include "support/secure.h"

namespace dizora {

namespace {

using namespace rurov;

// Bytes of the signature public key that a verification reads: the whole
// 128-byte key for GOST R 34.10-94, the point (64 of the 100 bytes) for 2001.
constexpr int32_t kCompared2001Size = 64;

// A library call that fails: a key the library refuses as unusable does not
// belong to any public key; other results pass through.
int32_t AsPairResult(int32_t result) { return result == DZ_LIB_BAD_KEY ? DZ_E_KEY_MISMATCH : result; }

}  // namespace

int32_t TCryptoC_DLL::DeriveSignaturePublicKey(int32_t algorithm, const uint8_t* secretKey, uint8_t* publicKey) {
  const bool gost1994 = algorithm == kGost1994;
  TLibraryContext<kSign1994ContextSize> ctx;  // the larger context serves both
  TLibraryState state{};  // a private state block, as verification keeps one
  int32_t result = gost1994 ? RuroV_LR34_10_1994_set_parms(ctx.get(), state.data(), nullptr, kPublicKey1994Size,
                                                           nullptr, kSignSecretKeySize, nullptr)
                            : RuroV_LR34_10_2001_set_parms(ctx.get(), state.data(), nullptr, kSignSecretKeySize,
                                                           nullptr, kSignSecretKeySize, nullptr, nullptr, nullptr);
  if (result != DZ_OK) return result;
  ctx.Arm(gost1994 ? RuroV_LR34_10_1994_clear : RuroV_LR34_10_2001_clear);
  result = (gost1994 ? RuroV_LR34_10_1994_set_secret_key : RuroV_LR34_10_2001_set_secret_key)(ctx.get(), secretKey);
  if (result != DZ_OK) return AsPairResult(result);
  result = gost1994 ? RuroV_LR34_10_1994_gen_public_key(ctx.get()) : RuroV_LR34_10_2001_gen_public_key(ctx.get());
  if (result != DZ_OK) return result;
  int32_t length = gost1994 ? kPublicKey1994Size : kPublicKey2001Size;
  return (gost1994 ? RuroV_LR34_10_1994_get_public_key : RuroV_LR34_10_2001_get_public_key)(ctx.get(), publicKey,
                                                                                              &length);
}

int32_t TCryptoC_DLL::DeriveExchangePublicKey(const uint8_t* secretKey, uint8_t* publicKey) {
  TLibraryContext<kLdhPkaContextSize> ctx;
  TLibraryState state{};
  int32_t result = RuroV_LDH_PKA_set_parms(ctx.get(), state.data(), nullptr, kExchangeKeySize, nullptr);
  if (result != DZ_OK) return result;
  ctx.Arm(RuroV_LDH_PKA_clear);
  result = RuroV_LDH_PKA_set_secret_key(ctx.get(), secretKey);
  if (result != DZ_OK) return AsPairResult(result);
  result = RuroV_LDH_PKA_gen_public_key(ctx.get());
  if (result != DZ_OK) return result;
  int32_t length = kExchangeKeySize;
  return RuroV_LDH_PKA_get_public_key(ctx.get(), publicKey, &length);
}

int32_t TCryptoC_DLL::CheckKeyPair(int32_t algorithm, const uint8_t* secretKeys, const uint8_t* signaturePublicKey,
                                   const uint8_t* exchangePublicKey) {
  const int32_t compared = algorithm == kGost1994 ? kPublicKey1994Size : kCompared2001Size;

  uint8_t derived[kPublicKey1994Size] = {};
  int32_t result = DeriveSignaturePublicKey(algorithm, secretKeys + kSignKeyOffset, derived);
  if (result != DZ_OK) return result;
  if (!support::ConstantTimeEqual(derived, signaturePublicKey, static_cast<size_t>(compared)))
    return DZ_E_KEY_MISMATCH;

  result = DeriveExchangePublicKey(secretKeys + kExchangeKeyOffset, derived);
  if (result != DZ_OK) return result;
  if (!support::ConstantTimeEqual(derived, exchangePublicKey, kExchangeKeySize)) return DZ_E_KEY_MISMATCH;
  return DZ_OK;
}

}  // namespace dizora
