// TCryptoC_DLL: the encrypted block. The data is encrypted once under a random
// data key; the data key is encrypted for every recipient under the mutual key
// shared with that recipient (the hash of their Diffie-Hellman secret). Every
// encryption carries a GOST 28147-89 MAC of its plaintext.
//
// Block layout: binding/formats.h.
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "binding/crypto_c_dll.h"
#include "binding/formats.h"
#include "support/fileutils.h"
#include "support/secure.h"

namespace dizora {

namespace {

using namespace rurov;
using formats::kBlockHeaderSize;
using formats::kDataFieldsSize;
using formats::kEntryFieldsSize;

constexpr int32_t kModeDecryptOffset = 2;  // a stored method m is decrypted with mode m + 2

// A wiped heap buffer of `size` bytes; false when the memory cannot be obtained.
bool Obtain(support::SecureBuffer& buffer, size_t size) noexcept {
  try {
    buffer = support::SecureBuffer(size);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// Compares two MACs in constant time (no early exit), so the time taken
// tells nothing about where they differ.
bool SameMac(const uint8_t* a, const uint8_t* b) noexcept { return support::ConstantTimeEqual(a, b, kMacSize); }

// The library calls of one cipher mode.
struct TCipherCalls {
  TRuroV_GammaInit init;
  TRuroV_Crypt crypt;
  TRuroV_Clear clear;
};

// Runs one cipher pass of `length` bytes; the clear call's result is the result.
// The vector is a private copy: the library may change it, the caller's stays.
template <std::size_t ContextSize>
int32_t RunCipher(const TCipherCalls& calls, const TParameterBlock& params, TLibraryState& state,
                  const uint8_t* key, const uint8_t* iv, const uint8_t* source,
                  uint8_t* destination, int32_t length) {
  TLibraryContext<ContextSize> ctx;
  uint8_t vector[kIvSize];
  std::memcpy(vector, iv, kIvSize);
  int32_t result = calls.init(ctx.get(), params.data(), state.data(), key, vector);
  if (result != DZ_OK) return result;
  ctx.Arm(calls.clear);
  result = calls.crypt(ctx.get(), source, destination, length);
  if (result != DZ_OK) return result;
  return ctx.Release();
}

}  // namespace

int32_t TCryptoC_DLL::GetMaxEncryptAddition(int32_t recipients) {
  constexpr int64_t kPerEntry = kMaxUIDLength + 1 + kEntryFieldsSize;                // 303
  constexpr int64_t kFixed = kBlockHeaderSize + kMaxUIDLength + 1 + kDataFieldsSize;  // 279
  const int64_t total = kPerEntry * std::max<int64_t>(recipients, 0) + kFixed;
  return static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
}

int32_t TCryptoC_DLL::ComputeMac(const uint8_t* source, int32_t length, const uint8_t* key,
                                 uint8_t* mac) {
  TLibraryState state;
  SnapshotState(state);
  const TParameterBlock& params = ParameterBlock();
  TLibraryContext<kMacContextSize> ctx;
  uint8_t area[kMacSize] = {};
  int32_t result = RuroV_G28147_1989_mac_init(ctx.get(), params.data(), state.data(), key, area);
  if (result != DZ_OK) return result;
  ctx.Arm(RuroV_G28147_1989_mac_clear);
  result = RuroV_G28147_1989_mac_update(ctx.get(), source, length);
  if (result != DZ_OK) return result;
  result = RuroV_G28147_1989_mac_final(ctx.get(), area);
  if (result != DZ_OK) return result;
  result = ctx.Release();
  CommitState(state);
  std::memcpy(mac, area, kMacSize);
  return result;
}

int32_t TCryptoC_DLL::CryptWithMac(const uint8_t* source, uint8_t* destination, int32_t length,
                                   const uint8_t* key, uint8_t* iv, uint8_t* mac, int32_t mode) {
  if (mode < 0 || mode > 3) return DZ_E_CRYPT_MODE;
  TLibraryState state;
  SnapshotState(state);
  const TParameterBlock& params = ParameterBlock();
  const bool feedback = (mode == 1 || mode == 3);
  const bool encrypt = (mode == 0 || mode == 1);
  int32_t result = DZ_OK;

  if (encrypt) {
    std::memset(mac, 0, kMacSize);
    result = RandomFill(iv, kIvSize);
    if (result != DZ_OK) return result;
    result = ComputeMac(source, length, key, mac);
    if (result != DZ_OK) return result;
    result = feedback
                 ? RunCipher<kGammaOfbContextSize>(
                       {RuroV_G28147_1989_gamma_ofb_init, RuroV_G28147_1989_gamma_ofb_encrypt,
                        RuroV_G28147_1989_gamma_ofb_clear},
                       params, state, key, iv, source, destination, length)
                 : RunCipher<kGammaContextSize>(
                       {RuroV_G28147_1989_gamma_init, RuroV_G28147_1989_gamma_crypt,
                        RuroV_G28147_1989_gamma_clear},
                       params, state, key, iv, source, destination, length);
    if (result != DZ_OK) return result;
  } else {
    result = feedback
                 ? RunCipher<kGammaOfbContextSize>(
                       {RuroV_G28147_1989_gamma_ofb_init, RuroV_G28147_1989_gamma_ofb_decrypt,
                        RuroV_G28147_1989_gamma_ofb_clear},
                       params, state, key, iv, source, destination, length)
                 : RunCipher<kGammaContextSize>(
                       {RuroV_G28147_1989_gamma_init, RuroV_G28147_1989_gamma_crypt,
                        RuroV_G28147_1989_gamma_clear},
                       params, state, key, iv, source, destination, length);
    if (result != DZ_OK) return result;
    uint8_t check[kMacSize] = {};
    result = ComputeMac(destination, length, key, check);
    if (result != DZ_OK) return result;
    if (!SameMac(check, mac)) return DZ_E_MAC_MISMATCH;
  }
  CommitState(state);
  return DZ_OK;
}

int32_t TCryptoC_DLL::DeriveMutualKey(const uint8_t* ownSecret, const uint8_t* peerPublic,
                                      uint8_t* key) {
  TLibraryState state;
  SnapshotState(state);
  support::SecureBuffer shared(kSharedSecretSize);
  {
    TLibraryContext<kLdhPkaContextSize> ctx;
    int32_t result = RuroV_LDH_PKA_set_parms(ctx.get(), state.data(), nullptr, 128, nullptr);
    if (result != DZ_OK) return result;
    ctx.Arm(RuroV_LDH_PKA_clear);
    result = RuroV_LDH_PKA_set_secret_key(ctx.get(), ownSecret);
    if (result != DZ_OK) return result;
    result = RuroV_LDH_PKA_gen_mutual_key(ctx.get(), peerPublic, shared.data());
    if (result != DZ_OK) return result;
    (void)ctx.Release();
  }
  const int32_t result = HashGost(shared.data(), kSharedSecretSize, key);
  CommitState(state);
  return result;
}

int32_t TCryptoC_DLL::GetMutualKey(const std::string& uid, uint8_t* key, const TKeySettings& settings) {
  support::SecureBuffer ownSecret;
  if (!Obtain(ownSecret, kExchangeKeySize)) return DZ_E_NO_MEMORY;
  uint64_t epoch = 0;
  const int32_t acquired = AcquireKeyBytes(settings, false, ownSecret.data(), nullptr, nullptr, &epoch);
  if (acquired != DZ_OK) return acquired;
  return MutualKeyWith(uid, ownSecret.data(), epoch, key, settings);
}

int32_t TCryptoC_DLL::MutualKeyWith(const std::string& uid, const uint8_t* ownSecret, uint64_t epoch,
                                    uint8_t* key, const TKeySettings& settings) {
  if (FindCachedMutualKey(uid, key, epoch)) return DZ_OK;
  support::SecureBuffer peerPublic;
  if (!Obtain(peerPublic, kExchangeKeySize)) return DZ_E_NO_MEMORY;
  int32_t algorithm = kNoAlgorithm;
  int32_t result = GetPublicKey(settings, uid, true, peerPublic.data(), algorithm);
  if (result != DZ_OK) return result;
  result = DeriveMutualKey(ownSecret, peerPublic.data(), key);
  if (result != DZ_OK) return result;
  StoreMutualKey(uid, key, epoch);
  return DZ_OK;
}

int32_t TCryptoC_DLL::EncryptData(uint8_t* data, int32_t& length, int32_t method, const char* uidList,
                                  const TKeySettings& settings) {
  std::vector<std::string> recipients;
  support::SplitList(uidList, recipients);
  return EncryptForRecipients(data, length, method, recipients, settings, INT32_MAX);
}

int32_t TCryptoC_DLL::EncryptForRecipients(uint8_t* data, int32_t& length, int32_t method,
                                           const std::vector<std::string>& recipients,
                                           const TKeySettings& settings, int32_t maxAddition) {
  if (data == nullptr || length < 0) return DZ_E_BAD_ARGUMENT;
  // The sender's UID and the exchange key every mutual key is derived with
  // come from one snapshot of the loaded key pair, so that a pair replaced
  // meanwhile (another process finishing a regeneration) never mixes in.
  support::SecureBuffer ownSecret;
  if (!Obtain(ownSecret, kExchangeKeySize)) return DZ_E_NO_MEMORY;
  std::string ownUID;
  uint64_t epoch = 0;
  int32_t result = AcquireKeyBytes(settings, false, ownSecret.data(), nullptr, &ownUID, &epoch);
  if (result != DZ_OK) return result;
  if (ownUID.empty() || ownUID.size() > static_cast<size_t>(kMaxUIDLength)) return DZ_E_PUBLIC_KEY;

  if (recipients.empty()) return DZ_E_EMPTY_UID;
  // The block is sized from the actual list: every entry holds its UID in full.
  const auto ownLength = static_cast<int64_t>(ownUID.size());
  int64_t blockSize = kBlockHeaderSize + ownLength + 1 + kDataFieldsSize + length;
  for (const std::string& uid : recipients) {
    if (uid.size() > static_cast<size_t>(kMaxUIDLength)) return DZ_E_EMPTY_UID;
    blockSize += static_cast<int64_t>(uid.size()) + 1 + kEntryFieldsSize;
  }
  if (method != 0 && method != 1) return DZ_E_CRYPT_MODE;
  if (blockSize - length > maxAddition) return DZ_E_BAD_ARGUMENT;
  if (blockSize > INT32_MAX) return DZ_E_NO_MEMORY;

  support::SecureBuffer block;
  support::SecureBuffer dataKey;
  if (!Obtain(block, static_cast<size_t>(blockSize)) || !Obtain(dataKey, kDataKeySize))
    return DZ_E_NO_MEMORY;
  result = RandomFill(dataKey.data(), kDataKeySize);
  if (result != DZ_OK) return result;
  support::SecureBuffer mutualKey;
  if (!Obtain(mutualKey, kMutualKeySize)) return DZ_E_NO_MEMORY;

  uint8_t* out = block.data();
  WriteInt32LE(out, static_cast<int32_t>(recipients.size()));
  WriteInt32LE(out + 4, method);
  std::memcpy(out + kBlockHeaderSize, ownUID.c_str(), static_cast<size_t>(ownLength) + 1);
  int64_t pos = kBlockHeaderSize + ownLength + 1;

  for (const std::string& uid : recipients) {
    result = MutualKeyWith(uid, ownSecret.data(), epoch, mutualKey.data(), settings);
    if (result != DZ_OK) return result;
    uint8_t* entry = out + pos;
    std::memcpy(entry, uid.c_str(), uid.size() + 1);
    uint8_t* iv = entry + uid.size() + 1;
    result = CryptWithMac(dataKey.data(), iv + kIvSize + kMacSize, kDataKeySize,
                          mutualKey.data(), iv, iv + kIvSize, method);
    if (result != DZ_OK) return result;
    pos += static_cast<int64_t>(uid.size()) + 1 + kEntryFieldsSize;
  }
  mutualKey.Reset();

  uint8_t* dataIv = out + pos;
  result = CryptWithMac(data, dataIv + kDataFieldsSize, length, dataKey.data(), dataIv,
                        dataIv + kIvSize, method);
  if (result != DZ_OK) return result;

  std::memcpy(data, out, static_cast<size_t>(blockSize));
  length = static_cast<int32_t>(blockSize);
  return DZ_OK;
}

int32_t TCryptoC_DLL::DecryptData(uint8_t* data, int32_t& length, const TKeySettings& settings) {
  if (data == nullptr) return DZ_E_BAD_ARGUMENT;
  char ownUID[kUIDBufferSize] = {};
  int32_t result = ReadOwnerUID(settings.PublicKeyPath, ownUID);
  if (result != DZ_OK) return result;

  // The entry that carries the own UID, compared byte for byte.
  const auto block = formats::ParseEncryptedBlock(support::BytesAt(data, length), ownUID);
  if (!block) return DZ_E_BAD_ARGUMENT;
  if (!block->own) return DZ_E_NOT_RECIPIENT;
  const std::string sender(block->header.sender);
  const int32_t method = block->header.method;
  uint8_t entryIv[kIvSize];
  uint8_t entryMac[kMacSize];
  std::memcpy(entryIv, block->own->iv.data(), kIvSize);
  std::memcpy(entryMac, block->own->mac.data(), kMacSize);

  // The data key, under the mutual key with the sender.
  support::SecureBuffer dataKey;
  support::SecureBuffer mutualKey;
  if (!Obtain(dataKey, kDataKeySize) || !Obtain(mutualKey, kMutualKeySize)) return DZ_E_NO_MEMORY;
  result = GetMutualKey(sender, mutualKey.data(), settings);
  if (result != DZ_OK) return result;
  if (method != 0 && method != 1) return DZ_E_CRYPT_MODE;
  result = CryptWithMac(block->own->key.data(), dataKey.data(), kDataKeySize, mutualKey.data(), entryIv,
                        entryMac, method + kModeDecryptOffset);
  if (result != DZ_OK) return result;
  mutualKey.Reset();

  // The data: past the remaining entries, IV, MAC and the ciphertext.
  if (!block->data) return DZ_E_BAD_ARGUMENT;
  uint8_t dataIv[kIvSize];
  uint8_t dataMac[kMacSize];
  std::memcpy(dataIv, block->data->iv.data(), kIvSize);
  std::memcpy(dataMac, block->data->mac.data(), kMacSize);
  const uint8_t* ciphertext = block->data->ciphertext.data();
  const auto plainLength = static_cast<int64_t>(block->data->ciphertext.size());

  support::SecureBuffer plain;
  if (plainLength > 0 && !Obtain(plain, static_cast<size_t>(plainLength))) return DZ_E_NO_MEMORY;
  result = CryptWithMac(ciphertext, plain.data(), static_cast<int32_t>(plainLength),
                        dataKey.data(), dataIv, dataMac, method + kModeDecryptOffset);
  if (result != DZ_OK) return result;

  if (plainLength > 0) std::memcpy(data, plain.data(), static_cast<size_t>(plainLength));
  length = static_cast<int32_t>(plainLength);
  return DZ_OK;
}

}  // namespace dizora
