// TCryptoC_DLL: generation of a signature key pair with its exchange key pair,
// written as a public-key file and a secret-key file.
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "binding/crypto_c_dll.h"
#include "platform/fs.h"
#include "support/fileutils.h"
#include "support/secure.h"

namespace dizora {

namespace {

// A library call that may raise: its result, or -6 when it raised.
template <typename Call>
int32_t GuardedExchangeCall(Call call) {
  try {
    return call();
  } catch (...) {
    return DZ_E_EXCHANGE_KEYGEN;
  }
}

}  // namespace

int32_t TCryptoC_DLL::GenerateExchangeKeyPair(uint8_t* secretKey, uint8_t* publicKey) {
  if (secretKey == nullptr || publicKey == nullptr) return DZ_E_BAD_ARGUMENT;
  rurov::TLibraryContext<rurov::kLdhPkaContextSize> ctx;
  TLibraryState state;
  SnapshotState(state);
  int32_t result = RuroV_LDH_PKA_set_parms(ctx.get(), state.data(), nullptr, rurov::kExchangeKeySize, nullptr);
  if (result != 0) return result;
  ctx.Arm(RuroV_LDH_PKA_clear);

  result = RuroV_LDH_PKA_gen_secret_key(ctx.get());
  if (result != 0) return result;
  int32_t length = rurov::kExchangeKeySize;
  result = GuardedExchangeCall([&] { return RuroV_LDH_PKA_get_secret_key(ctx.get(), secretKey, &length); });
  if (result != 0) return result;
  if (length != rurov::kExchangeKeySize) return DZ_E_EXCHANGE_KEYGEN;

  result = RuroV_LDH_PKA_gen_public_key(ctx.get());
  if (result != 0) return result;
  length = rurov::kExchangeKeySize;
  result = GuardedExchangeCall([&] { return RuroV_LDH_PKA_get_public_key(ctx.get(), publicKey, &length); });
  if (result != 0) return result;
  if (length != rurov::kExchangeKeySize) return DZ_E_EXCHANGE_KEYGEN;

  ctx.Release();
  CommitState(state);
  return DZ_OK;
}

int32_t TCryptoC_DLL::GenerateKeyPair(int32_t algorithm, const std::string& uid,
                                      const std::string& publicKeyPath,
                                      const std::string& secretKeyPath) {
  TKeyPairImages images;
  const int32_t generated = GenerateKeyPairImages(algorithm, uid, images);
  if (generated != DZ_OK) return generated;
  try {
    // Both files as one change: after a kill the next lock of the medium
    // leaves either both previous files or both new ones, never a mix.
    std::vector<support::Placement> change(2);
    change[0].target = publicKeyPath;
    change[0].data = images.PublicKey.data();
    change[0].size = images.PublicKey.size();
    change[1].target = secretKeyPath;
    change[1].data = images.SecretKey.data();
    change[1].size = images.SecretKey.size();
    change[1].access = platform::FileAccess::kPrivate;
    const TMediumAccess medium(*this, TMediumAccess::Mode::kExclusive);
    const support::ChangeResult made = support::ApplyChange(ChangeMedium(secretKeyPath), change);
    return made == support::ChangeResult::kDone ? DZ_OK : DZ_E_FILE_WRITE;
  } catch (const std::bad_alloc&) {
    return DZ_E_NO_MEMORY;
  }
}

int32_t TCryptoC_DLL::GenerateKeyPairImages(int32_t algorithm, const std::string& uid, TKeyPairImages& images) {
  switch (algorithm) {
    case rurov::kGost1994: return GenerateKeyPair1994(uid, images);
    case rurov::kGost2001: return GenerateKeyPair2001(uid, images);
    default: return DZ_E_UNKNOWN_ALGORITHM;
  }
}

int32_t TCryptoC_DLL::GenerateKeyPair1994(const std::string& uid, TKeyPairImages& images) {
  try {
    return GenerateSignatureKeyPair(rurov::kGost1994, uid, images);
  } catch (const std::bad_alloc&) {
    return DZ_E_NO_MEMORY;
  }
}

int32_t TCryptoC_DLL::GenerateKeyPair2001(const std::string& uid, TKeyPairImages& images) {
  try {
    return GenerateSignatureKeyPair(rurov::kGost2001, uid, images);
  } catch (const std::bad_alloc&) {
    return DZ_E_NO_MEMORY;
  }
}

// Both algorithms: the 1994 context is the larger, so it serves the 2001 calls too.
int32_t TCryptoC_DLL::GenerateSignatureKeyPair(int32_t algorithm, const std::string& uid,
                                               TKeyPairImages& images) {
  if (uid.empty()) return DZ_E_EMPTY_UID;
  // The public-key image must stay far inside a signed 32-bit length.
  if (uid.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max() / 2)) return DZ_E_NO_MEMORY;
  const bool gost1994 = algorithm == rurov::kGost1994;

  rurov::TLibraryContext<rurov::kSign1994ContextSize> ctx;
  TLibraryState state;
  SnapshotState(state);
  int32_t result = gost1994
      ? RuroV_LR34_10_1994_set_parms(ctx.get(), state.data(), nullptr, rurov::kPublicKey1994Size,
                                     nullptr, rurov::kSignSecretKeySize, nullptr)
      : RuroV_LR34_10_2001_set_parms(ctx.get(), state.data(), nullptr, rurov::kSignSecretKeySize,
                                     nullptr, rurov::kSignSecretKeySize, nullptr, nullptr, nullptr);
  if (result != 0) return result;
  ctx.Arm(gost1994 ? RuroV_LR34_10_1994_clear : RuroV_LR34_10_2001_clear);

  result = gost1994 ? RuroV_LR34_10_1994_gen_secret_key(ctx.get())
                    : RuroV_LR34_10_2001_gen_secret_key(ctx.get());
  if (result != 0) return result;
  TRuroV_GetKey getSecret = gost1994 ? RuroV_LR34_10_1994_get_secret_key : RuroV_LR34_10_2001_get_secret_key;
  int32_t secretSize = 0;
  result = getSecret(ctx.get(), nullptr, &secretSize);
  if (result != 0) return result;
  // Only a 32-byte signature key makes a loadable secret-key file.
  if (secretSize != rurov::kSignSecretKeySize) return DZ_E_SECRET_KEY;
  support::SecureBuffer secretImage(static_cast<size_t>(rurov::kSecretKeyFileSize));
  rurov::WriteInt32LE(secretImage.data(), algorithm);
  result = getSecret(ctx.get(), secretImage.data() + rurov::kAlgorithmWordSize, &secretSize);
  if (result != 0) return result;
  if (secretSize != rurov::kSignSecretKeySize) return DZ_E_SECRET_KEY;

  result = gost1994 ? RuroV_LR34_10_1994_gen_public_key(ctx.get())
                    : RuroV_LR34_10_2001_gen_public_key(ctx.get());
  if (result != 0) return result;
  int32_t publicSize = rurov::kPublicKey2001Size;
  if (gost1994) {
    result = RuroV_LR34_10_1994_get_public_key(ctx.get(), nullptr, &publicSize);
    if (result != 0) return result;
    // Only a 128-byte key makes a loadable public-key file.
    if (publicSize != rurov::kPublicKey1994Size) return DZ_E_PUBLIC_KEY;
  }
  support::SecureBuffer signaturePublic(static_cast<size_t>(publicSize));
  int32_t reported = publicSize;
  result = gost1994 ? RuroV_LR34_10_1994_get_public_key(ctx.get(), signaturePublic.data(), &reported)
                    : RuroV_LR34_10_2001_get_public_key(ctx.get(), signaturePublic.data(), &reported);
  if (result != 0) return result;
  if (gost1994 && reported != rurov::kPublicKey1994Size) return DZ_E_PUBLIC_KEY;

  const size_t uidLength = uid.size();
  support::SecureBuffer publicImage(uidLength + 1 + rurov::kAlgorithmWordSize +
                                    static_cast<size_t>(publicSize) + rurov::kExchangeKeySize);
  support::SecureBuffer exchangeSecret(static_cast<size_t>(rurov::kExchangeKeySize));
  support::SecureBuffer exchangePublic(static_cast<size_t>(rurov::kExchangeKeySize));
  result = GenerateExchangeKeyPair(exchangeSecret.data(), exchangePublic.data());
  if (result != 0) return result;

  std::memcpy(secretImage.data() + rurov::kAlgorithmWordSize + secretSize, exchangeSecret.data(),
              rurov::kExchangeKeySize);
  uint8_t* out = publicImage.data();
  std::memcpy(out, uid.data(), uidLength);
  out += uidLength;
  *out++ = 0;
  rurov::WriteInt32LE(out, algorithm);
  out += rurov::kAlgorithmWordSize;
  std::memcpy(out, signaturePublic.data(), static_cast<size_t>(publicSize));
  out += publicSize;
  std::memcpy(out, exchangePublic.data(), rurov::kExchangeKeySize);

  images.PublicKey = std::move(publicImage);
  images.SecretKey = std::move(secretImage);
  ctx.Release();
  CommitState(state);
  return DZ_OK;
}

}  // namespace dizora
