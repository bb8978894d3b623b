// TCryptoC_DLL: GOST R 34.11-94 hashing (ordinary and legacy digest), the
// signature block and the text forms of a hash.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "binding/crypto_c_dll.h"
#include "support/base64.h"
#include "support/fileutils.h"
#include "support/secure.h"

namespace dizora {

namespace {

using namespace rurov;

// Signs `hash` with the unmasked signature key into `signature` (64 bytes),
// on the caller's copy of the library state. `key` is wiped right after the
// library has taken it, whatever the outcome. Returns the result of the
// set-up calls when they fail; otherwise sets `signed_` (the caller then
// commits the state) and returns the sign call's result.
template <std::size_t ContextSize, typename SetParms>
int32_t SignWithKey(TLibraryState& state, SetParms setParms, TRuroV_SetKey setSecretKey, TRuroV_Sign sign,
                    TRuroV_Clear clear, uint8_t* key, const uint8_t* hash, uint8_t* signature, bool& signed_) {
  TLibraryContext<ContextSize> ctx;
  ctx.Arm(clear);
  int32_t result = setParms(ctx.get(), state.data());
  if (result != DZ_OK) {
    support::WipeMemory(key, kSignSecretKeySize);
    return result;
  }
  result = setSecretKey(ctx.get(), key);
  support::WipeMemory(key, kSignSecretKeySize);
  if (result != DZ_OK) return result;
  result = sign(ctx.get(), hash, signature);
  signed_ = true;
  (void)ctx.Release();
  return result;
}

}  // namespace

// The library gets the caller's memory in place.
int32_t TCryptoC_DLL::HashInPieces(const uint8_t* data, int32_t length, uint8_t* hash, bool restartEachPiece) {
  if (data == nullptr || length <= 0) return DZ_E_BAD_ARGUMENT;
  const TParameterBlock& params = ParameterBlock();
  TLibraryState state;
  SnapshotState(state);
  TLibraryContext<kHashContextSize> ctx;
  const uint8_t startVector[kHashSize] = {};

  int32_t result = RuroV_R34_11_1994_init(ctx.get(), params.data(), state.data(), startVector);
  if (result != DZ_OK) return result;
  ctx.Arm(RuroV_R34_11_1994_clear);

  const uint8_t* piece = data;
  int32_t remaining = length;
  while (remaining > 0) {
    const int32_t n = std::min(remaining, kHashPieceSize);
    result = RuroV_R34_11_1994_update(ctx.get(), piece, n);
    if (result != DZ_OK) return result;
    remaining -= n;
    if (!restartEachPiece) piece += n;
  }

  // The digest may be key material (a mutual key is the hash of a shared secret).
  support::WipedArray<kHashSize> digest;
  result = RuroV_R34_11_1994_final(ctx.get(), digest.data());
  if (result != DZ_OK) return result;
  std::memcpy(hash, digest.data(), kHashSize);
  (void)ctx.Release();
  CommitState(state);
  return DZ_OK;
}

int32_t TCryptoC_DLL::HashGost(const uint8_t* data, int32_t length, uint8_t* hash) {
  return HashInPieces(data, length, hash, false);
}

int32_t TCryptoC_DLL::HashOldFormat(const uint8_t* data, int32_t length, uint8_t* hash) {
  return HashInPieces(data, length, hash, true);
}

int32_t TCryptoC_DLL::SignBuffer(const uint8_t* data, int32_t length, uint8_t* output,
                                 int32_t& outputLength, const TKeySettings& settings, bool gostHash) {
  char uid[kUIDBufferSize] = {};
  int32_t result = ReadOwnerUID(settings.PublicKeyPath, uid);
  if (result != DZ_OK) return result;
  if (data == nullptr || output == nullptr) return DZ_E_BAD_ARGUMENT;

  uint8_t hash[kHashSize] = {};
  result = gostHash ? HashGost(data, length, hash) : HashOldFormat(data, length, hash);
  if (result != DZ_OK) return result;

  std::memcpy(output, uid, std::strlen(uid) + 1);
  support::WipedArray<kSignSecretKeySize> key;
  int32_t algorithm = kNoAlgorithm;
  std::string signer;
  result = AcquireSignatureKey(settings, key.data(), algorithm, &signer);
  if (result != DZ_OK) return result;
  // The UID loaded with the key: a pair replaced since the UID above was
  // read (by another process) must not sign under the previous UID.
  const size_t uidLength = std::min(signer.size(), static_cast<size_t>(kMaxUIDLength));
  std::memcpy(output, signer.c_str(), uidLength);
  output[uidLength] = 0;

  uint8_t* signature = output + uidLength + 1;
  bool signCalled = false;
  TLibraryState state;
  SnapshotState(state);
  if (algorithm == kGost1994) {
    auto setParms = [this](void* ctx, void* state) {
      return RuroV_LR34_10_1994_set_parms(ctx, state, nullptr, 128, nullptr, 32, nullptr);
    };
    result = SignWithKey<kSign1994ContextSize>(state, setParms, RuroV_LR34_10_1994_set_secret_key,
                                                RuroV_LR34_10_1994_sign, RuroV_LR34_10_1994_clear,
                                                key.data(), hash, signature, signCalled);
  } else if (algorithm == kGost2001) {
    auto setParms = [this](void* ctx, void* state) {
      return RuroV_LR34_10_2001_set_parms(ctx, state, nullptr, 32, nullptr, 32, nullptr, nullptr,
                                          nullptr);
    };
    result = SignWithKey<kSign2001ContextSize>(state, setParms, RuroV_LR34_10_2001_set_secret_key,
                                                RuroV_LR34_10_2001_sign, RuroV_LR34_10_2001_clear,
                                                key.data(), hash, signature, signCalled);
  } else {
    return DZ_E_SECRET_KEY;  // key loading admits only the two algorithms
  }
  // A failed set-up leaves the length untouched; a failed sign call still reports it.
  if (!signCalled) return result;
  CommitState(state);
  outputLength = static_cast<int32_t>(uidLength) + 1 + kSignatureValueSize;
  return result;
}

int32_t TCryptoC_DLL::HashWithFormat(const uint8_t* data, int32_t length, int32_t form,
                                     uint8_t* output, bool gostHash, int32_t& size) {
  uint8_t hash[kHashSize] = {};
  const int32_t result = gostHash ? HashGost(data, length, hash) : HashOldFormat(data, length, hash);
  if (result != DZ_OK) return result;

  std::string text;
  if (form == kHashFormBase64) {
    std::unique_ptr<char[]> encoded;
    int32_t encodedLength = 0;
    support::EncodeBase64(hash, kHashSize, encoded, encodedLength);
    if (encoded == nullptr) return DZ_E_NO_MEMORY;
    text.assign(encoded.get(), static_cast<size_t>(encodedLength));
  } else if (form == kHashFormHex) {
    support::BytesToHexText(hash, kHashSize, 255, 255, text);
  } else {
    text.assign(reinterpret_cast<const char*>(hash), kHashSize);
  }

  const auto formLength = static_cast<int32_t>(text.size());
  if (output == nullptr) {
    size = formLength;
    return DZ_OK;
  }
  if (size < formLength) {
    size = formLength;
    return DZ_E_EXCEPTION;
  }
  std::memcpy(output, text.data(), text.size());
  size = formLength;
  return DZ_OK;
}

}  // namespace dizora
