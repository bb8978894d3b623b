// TCryptoCEngine: data operations (signing, verification, encryption,
// hashing, signatures appended to the data) and the size queries.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "engine/binding_registry.h"
#include "engine/transfer_format.h"
#include "support/exceptions.h"
#include "support/fileutils.h"
#include "support/secure.h"

namespace dizora {

namespace {

constexpr int32_t kSizeFailure = -1;

constexpr int32_t kUIDLength = rurov::kMaxUIDLength;
constexpr int32_t kRecipientsWhenUnlisted = 100;
constexpr int32_t kTrailerSize = formats::kSignedDataTrailerSize;

const uint8_t* Bytes(const void* p) { return static_cast<const uint8_t*>(p); }
uint8_t* Bytes(void* p) { return static_cast<uint8_t*>(p); }

// The growth of an encrypted block that GetMaxAdditionEx answers for the
// caller's recipient argument: per listed recipient, or for 100 when the
// caller lists none (the setting "Encrypt for UID" is used then).
int32_t AdditionFor(const char* recipients) {
  std::vector<std::string> items;
  const int32_t n = support::SplitList(recipients, items);
  return TCryptoC_DLL::GetMaxEncryptAddition(n == 0 ? kRecipientsWhenUnlisted : n);
}

}  // namespace

// ---- Size queries ------------------------------------------------------------

int32_t TCryptoCEngine::GetMaxUIDLength() { return kUIDLength; }

int32_t TCryptoCEngine::GetMaxSignatureLength() { return GetMaxUIDLength() + 1 + rurov::kSignatureValueSize; }

int32_t TCryptoCEngine::GetMaxSignAddition() { return GetMaxSignatureLength() + kTrailerSize; }

// The overhead does not depend on the binding, but both queries answer -1
// while no binding can be had, as the operations that follow would fail too.
int32_t TCryptoCEngine::GetMaxEncodeAddition() {
  const int32_t r = BindingFrame("GetMaxEncodeAddition", SettingsRegistryKey(), [](TCryptoC_DLL&) {
    return TCryptoC_DLL::GetMaxEncryptAddition(kRecipientsWhenUnlisted);
  });
  return r < 0 ? kSizeFailure : r;
}

int32_t TCryptoCEngine::GetMaxAdditionEx(const char* recipients) {
  const int32_t r = BindingFrame("GetMaxAdditionEx", SettingsRegistryKey(),
                                 [&](TCryptoC_DLL&) { return AdditionFor(recipients); });
  return r < 0 ? kSizeFailure : r;
}

// ---- Signing and verification --------------------------------------------------

int32_t TCryptoCEngine::SignData(const void* data, int32_t size, void* signature, int32_t* signature_size,
                                 intptr_t) {
  if (signature_size == nullptr) return DZ_E_BAD_ARGUMENT;
  const bool gost = GostHashFlag();
  return KeyFrame("SignData", [&](TCryptoC_DLL& b, const TKeySettings& k) -> int32_t {
    return b.SignBuffer(Bytes(data), size, Bytes(signature), *signature_size, k, gost);
  });
}

int32_t TCryptoCEngine::VerifyData(const void* data, int32_t size, const void* signature,
                                   int32_t signature_size, char* signer_uid) {
  bool verified = false;
  return VerifyBlock(data, size, signature, signature_size, signer_uid, verified);
}

int32_t TCryptoCEngine::VerifyBlock(const void* data, int32_t size, const void* signature,
                                    int32_t signature_size, char* signer_uid, bool& verified) {
  verified = false;
  if (signature == nullptr || signer_uid == nullptr) return DZ_E_BAD_ARGUMENT;
  return KeyFrame("VerifyData", [&](TCryptoC_DLL& b, const TKeySettings& k) -> int32_t {
    verified = true;
    std::string uid;
    const int32_t r = b.VerifySignature(Bytes(data), size, Bytes(signature), signature_size, uid, k);
    // The signer's UID is reported whatever the verification said; the
    // caller's buffer holds GetMaxUIDLength + 1 bytes.
    const size_t n = std::min(uid.size(), static_cast<size_t>(kUIDLength));
    std::memcpy(signer_uid, uid.data(), n);
    signer_uid[n] = '\0';
    return r;
  });
}

// ---- Encryption ----------------------------------------------------------------

// The caller sized the buffer by GetMaxAdditionEx of the same argument: a
// block that would grow by more (possible only with recipients from the
// setting) is refused with -4 and nothing written.
int32_t TCryptoCEngine::EncodeData(void* data, int32_t* size, const char* recipients) {
  if (data == nullptr || size == nullptr) return DZ_E_BAD_ARGUMENT;
  const std::string list = (recipients != nullptr && recipients[0] != '\0')
                               ? std::string(recipients)
                               : TrimSettingText(SettingValue(kSetEncryptForUID));
  if (list.empty()) return DZ_E_EMPTY_UID;
  std::vector<std::string> items;
  support::SplitList(list.c_str(), items);
  return EncryptFor(data, size, items, AdditionFor(recipients));
}

int32_t TCryptoCEngine::EncryptFor(void* data, int32_t* size, const std::vector<std::string>& recipients,
                                   int32_t allowedGrowth) {
  TKeySettings settings;
  const int32_t read = ReadKeySettings(settings);
  if (read != DZ_OK) return read;

  int32_t method = 0;
  const std::string& method_text = SettingValue(kSetEncryptMethod);
  if (!method_text.empty()) {
    if (!ParseSettingInteger(method_text, method)) return DZ_E_BAD_NUMBER_SETTING;
    method = (method == 1) ? 1 : 0;
  }

  return BindingFrame("EncodeData", settings.RegistryKey(), [&](TCryptoC_DLL& b) -> int32_t {
    return b.EncryptForRecipients(Bytes(data), *size, method, recipients, settings, allowedGrowth);
  });
}

int32_t TCryptoCEngine::DecodeData(void* data, int32_t* size, intptr_t) {
  if (size == nullptr) return DZ_E_BAD_ARGUMENT;
  return KeyFrame("DecodeData", [&](TCryptoC_DLL& b, const TKeySettings& k) -> int32_t {
    return b.DecryptData(Bytes(data), *size, k);
  });
}

// ---- Hashing ---------------------------------------------------------------------

// No key is involved, so the time-out settings are not read.
int32_t TCryptoCEngine::HashData(const void* data, int32_t size, int32_t form, void* hash,
                                 int32_t* hash_size) {
  if (hash_size == nullptr) return DZ_E_BAD_ARGUMENT;
  const bool gost = GostHashFlag();
  return BindingFrame("HashData", SettingsRegistryKey(), [&](TCryptoC_DLL& b) -> int32_t {
    return b.HashWithFormat(Bytes(data), size, form, Bytes(hash), gost, *hash_size);
  });
}

// ---- Signature appended to the data ---------------------------------------------
//
// Layout: data (N bytes), signature block (S bytes), N as 32-bit little-endian.

int32_t TCryptoCEngine::AddSign(void* data, int32_t* size, intptr_t) {
  if (data == nullptr || size == nullptr) return DZ_E_BAD_ARGUMENT;
  support::SecureBuffer block;
  support::SecureBuffer uid;
  try {
    block = support::SecureBuffer(static_cast<size_t>(GetMaxSignatureLength()));
    uid = support::SecureBuffer(static_cast<size_t>(GetMaxUIDLength()) + 1);
  } catch (const std::bad_alloc&) {
    return DZ_E_NO_MEMORY;
  }
  const int32_t current = GetCurrentUID(reinterpret_cast<char*>(uid.data()));
  if (current != DZ_OK) return current;
  int32_t block_size = 0;
  const int32_t signed_result = SignData(data, *size, block.data(), &block_size, 0);
  if (signed_result != DZ_OK) return signed_result;
  try {
    if (block_size < 0 || block_size > static_cast<int32_t>(block.size()))
      throw Exception("Signature block of unexpected size " + std::to_string(block_size));
    uint8_t* end = Bytes(data) + *size;
    std::memcpy(end, block.data(), static_cast<size_t>(block_size));
    rurov::WriteInt32LE(end + block_size, *size);
    *size += block_size + kTrailerSize;
    return DZ_OK;
  } catch (const std::exception& e) {
    return ExceptionResult("AddSign", e);
  }
}

int32_t TCryptoCEngine::RemoveSignature(void* data, int32_t* size, char* signer_uid) {
  if (data == nullptr || size == nullptr || signer_uid == nullptr || *size < 1) return DZ_E_BAD_ARGUMENT;
  try {
    const auto parts = formats::ParseSignedData(support::BytesAt(data, *size));
    if (!parts) return DZ_E_SIGNATURE_FORMAT;
    const auto data_size = static_cast<int32_t>(parts->data.size());
    const auto block_size = static_cast<int32_t>(parts->signatureBlock.size());
    bool verified = false;
    const int32_t r = VerifyBlock(data, data_size, parts->signatureBlock.data(), block_size, signer_uid, verified);
    // Cut also when the verification failed, but not when it never ran (a
    // null UID buffer, a bad setting, no library) or could not run for want
    // of memory: the caller may try again on the same buffer.
    if (verified && r != DZ_E_NO_MEMORY) *size = data_size;
    return r;
  } catch (const std::exception& e) {
    return ExceptionResult("RemoveSignature", e);
  }
}

int32_t TCryptoCEngine::SaveSignedDataToFile(const void*, int32_t, const void*, int32_t, const char*) {
  return DZ_E_NOT_SUPPORTED;
}

}  // namespace dizora
