// TCryptoC_DLL: verification of a signature block against the signer's
// signature public key from the public-key cache.
#include <string>

#include "binding/crypto_c_dll.h"
#include "binding/formats.h"

namespace dizora {

namespace {

using namespace rurov;

// The verify calls of one algorithm.
struct TVerifyCalls {
  TRuroV_SetKey setPublicKey;
  TRuroV_Verify verify;
  TRuroV_Clear clear;
};

// Sets up a context of the algorithm with the public key and verifies the
// hash; for code 5 a second attempt against the legacy digest decides (0 when
// it matches, 5 for any other outcome). `legacyDigest` computes that digest
// and returns it, or null when there is no second attempt: data of 65535 bytes
// or less, whose legacy digest is the hash itself. It is called only after a
// code 5, so data signed over the ordinary hash is hashed once. The context is
// cleared on every exit.
template <std::size_t ContextSize, typename SetParms, typename LegacyDigest>
int32_t VerifyWithKey(SetParms setParms, const TVerifyCalls& calls, const uint8_t* publicKey,
                      const uint8_t* hash, LegacyDigest legacyDigest, const uint8_t* value) {
  TLibraryContext<ContextSize> ctx;
  ctx.Arm(calls.clear);
  // Verification keeps its own state block: LibraryState is neither read nor written.
  TLibraryState state{};
  int32_t result = setParms(ctx.get(), state.data());
  if (result != DZ_OK) return result;
  result = calls.setPublicKey(ctx.get(), publicKey);
  if (result != DZ_OK) return result;
  result = calls.verify(ctx.get(), hash, value);
  if (result != DZ_LIB_BAD_SIGNATURE) return result;
  if (const uint8_t* legacy = legacyDigest()) {
    result = calls.verify(ctx.get(), legacy, value) == DZ_OK ? DZ_OK : DZ_LIB_BAD_SIGNATURE;
  }
  return result;
}

}  // namespace

int32_t TCryptoC_DLL::VerifySignature(const uint8_t* data, int32_t length,
                                      const uint8_t* signatureBlock, int32_t signatureLength,
                                      std::string& signerUID, const TKeySettings& settings) {
  if (data == nullptr) return DZ_E_BAD_ARGUMENT;
  const auto block = formats::ParseSignatureBlock(support::BytesAt(signatureBlock, signatureLength));
  if (!block) return DZ_E_SIGNATURE_FORMAT;

  const std::string uid(block->uid);
  signerUID = uid;

  uint8_t hash[kHashSize] = {};
  int32_t result = HashGost(data, length, hash);
  if (result != DZ_OK) return result;

  uint8_t publicKey[kPublicKey1994Size] = {};
  int32_t algorithm = kNoAlgorithm;
  result = GetPublicKey(settings, uid, false, publicKey, algorithm);
  if (result != DZ_OK) return result;

  const uint8_t* value = block->value.data();
  // Its result code is not examined: a failed digest stays zero and does not match.
  uint8_t legacyDigest[kHashSize] = {};
  auto legacy = [&]() -> const uint8_t* {
    if (length <= kHashPieceSize) return nullptr;
    (void)HashOldFormat(data, length, legacyDigest);
    return legacyDigest;
  };
  if (algorithm == kGost1994) {
    auto setParms = [this](void* ctx, void* state) {
      return RuroV_LR34_10_1994_set_parms(ctx, state, nullptr, 128, nullptr, 32, nullptr);
    };
    const TVerifyCalls calls{RuroV_LR34_10_1994_set_public_key, RuroV_LR34_10_1994_verify,
                             RuroV_LR34_10_1994_clear};
    return VerifyWithKey<kSign1994ContextSize>(setParms, calls, publicKey, hash, legacy, value);
  }
  if (algorithm == kGost2001) {
    auto setParms = [this](void* ctx, void* state) {
      return RuroV_LR34_10_2001_set_parms(ctx, state, nullptr, 32, nullptr, 32, nullptr, nullptr,
                                          nullptr);
    };
    const TVerifyCalls calls{RuroV_LR34_10_2001_set_public_key, RuroV_LR34_10_2001_verify,
                             RuroV_LR34_10_2001_clear};
    return VerifyWithKey<kSign2001ContextSize>(setParms, calls, publicKey, hash, legacy, value);
  }
  // A record of an unknown algorithm has no verification procedure: never valid.
  return DZ_E_PUBLIC_KEY;
}

}  // namespace dizora
