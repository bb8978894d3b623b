// TCryptoC_DLL: key files, the masked in-memory secret key and its time-outs,
// the owner's UID.
#include <cmath>
#include <cstring>
#include <new>

#include "binding/crypto_c_dll.h"
#include "binding/formats.h"
#include "platform/clock.h"
#include "support/fileutils.h"
#include "support/secure.h"

namespace dizora {

namespace {

constexpr int32_t kMaskWords = rurov::kKeyMaskSize / 4;

// Local time of day as a fraction of a day, read afresh at every call. One
// key acquisition reads it once: the expiry checks and the time of use are
// the same instant, and the local-time conversion is not repeated.
double NowTimeOfDay() { return platform::TimeOfDay(platform::CurrentLocalTime()); }

// Whether `since` lies no more than `timeoutSeconds` from `now` (either side
// of it), computed in extended precision; a time-out of 0 never holds.
bool WithinTimeout(double now, double since, int32_t timeoutSeconds) {
  if (timeoutSeconds == 0) return false;
  const long double elapsed = static_cast<long double>(now) - static_cast<long double>(since);
  return std::fabs(elapsed) <= static_cast<long double>(timeoutSeconds) * rurov::kDaysPerSecond;
}

// Reads the user's public-key file into `file`; `uid` gets its UID and `keys`
// its keys (views into `file`). -11 for a missing, short or long file or a
// bad UID, -12 for an algorithm other than `algorithm`.
int32_t ReadOwnPublicKey(const std::string& path, int32_t algorithm,
                         std::array<uint8_t, rurov::kMaxPublicKeyFileSize>& file, std::string& uid,
                         formats::TPublicKeyRecord& keys) {
  int32_t size = rurov::kMaxPublicKeyFileSize;
  if (!support::ReadWholeFile(path, file.data(), size)) return DZ_E_PUBLIC_KEY;
  const formats::ByteSpan bytes = support::BytesAt(file.data(), size);
  const auto owner = formats::ParseRecordUID(bytes);
  if (!owner) return DZ_E_PUBLIC_KEY;
  uid.assign(*owner);
  const auto head = formats::ParseRecordHead(bytes);
  if (!head || !head->algorithm) return DZ_E_PUBLIC_KEY;
  if (*head->algorithm != algorithm) return DZ_E_KEY_MISMATCH;
  const auto record = formats::ParseRecordKeys(bytes);
  if (!record) return DZ_E_PUBLIC_KEY;
  keys = *record;
  return DZ_OK;
}

}  // namespace

int32_t TCryptoC_DLL::LoadKeyFiles(const std::string& publicKeyPath,
                                   const std::string& secretKeyPath) {
  const int32_t result = [&]() -> int32_t {
    try {
      SecretKey.reset(support::NewSecretBlock<TSecretKeyBlock>());
      KeyMask.reset(support::NewSecretBlock<TKeyMaskBlock>());
    } catch (const std::bad_alloc&) {
      return DZ_E_NO_MEMORY;
    }

    int32_t size = rurov::kSecretKeyFileSize;
    if (!support::ReadWholeFile(secretKeyPath, SecretKey->data(), size)) return DZ_E_SECRET_KEY;
    const auto secret = formats::ParseSecretKeyFile(support::BytesAt(SecretKey->data(), size));
    if (!secret) return DZ_E_SECRET_KEY;
    KeyAlgorithm = secret->algorithm;

    // Drop the algorithm word, in place: signature key at 0, exchange key at 32.
    uint8_t* block = SecretKey->data();
    std::memmove(block + rurov::kSignKeyOffset, secret->signatureKey.data(), secret->signatureKey.size());
    std::memmove(block + rurov::kExchangeKeyOffset, secret->exchangeKey.data(), secret->exchangeKey.size());
    support::WipeMemory(block + rurov::kSecretKeyFileSize - rurov::kAlgorithmWordSize,
                        rurov::kAlgorithmWordSize);

    std::array<uint8_t, rurov::kMaxPublicKeyFileSize> file{};
    formats::TPublicKeyRecord record;
    const int32_t read = ReadOwnPublicKey(publicKeyPath, KeyAlgorithm, file, OwnerUID, record);
    if (read != DZ_OK) return read;
    // The secret key must be the one of this public key: checked once per
    // load, so that a wrong key never signs or decrypts.
    const int32_t paired = CheckKeyPair(KeyAlgorithm, block, record.signatureKey.data(), record.exchangeKey.data());
    if (paired != DZ_OK) return paired;
    NoteOwnExchangeKey(record.exchangeKey.data());

    // Keep the signature key only masked: stored word = key word - mask word.
    const int32_t random = RandomFill(KeyMask->data(), rurov::kKeyMaskSize);
    if (random != 0) return random;
    for (int32_t i = 0; i < kMaskWords; ++i) {
      uint8_t* word = block + rurov::kSignKeyOffset + 4 * i;
      const uint32_t key = static_cast<uint32_t>(rurov::ReadInt32LE(word));
      const uint32_t mask = static_cast<uint32_t>(rurov::ReadInt32LE(KeyMask->data() + 4 * i));
      rurov::WriteInt32LE(word, static_cast<int32_t>(key - mask));
    }
    return DZ_OK;
  }();
  if (result != DZ_OK) DropSecretKey();
  return result;
}

void TCryptoC_DLL::NoteOwnExchangeKey(const uint8_t* exchangePublicKey) {
  if (OwnKeyEpoch != 0 &&
      std::memcmp(OwnKeyEpochKey.data(), exchangePublicKey, OwnKeyEpochKey.size()) == 0)
    return;
  std::memcpy(OwnKeyEpochKey.data(), exchangePublicKey, OwnKeyEpochKey.size());
  ++OwnKeyEpoch;
}

void TCryptoC_DLL::DropSecretKey() {
  KeyAlgorithm = rurov::kNoAlgorithm;
  SecretKey.reset();  // wiped by the deleter
  KeyMask.reset();
  OwnerUID.clear();
}

void TCryptoC_DLL::ReleaseKeys() {
  TGuard guard(KeyLock);
  ClearKeyCache();
  DropSecretKey();
}

void TCryptoC_DLL::CheckKeyExpiry(double now, int32_t keyRequestTimeout, int32_t lastOpTimeout) {
  const bool keep = WithinTimeout(now, LoadTime, keyRequestTimeout) &&
                    WithinTimeout(now, LastUseTime, lastOpTimeout) &&
                    WithinTimeout(now, LoadTime, KeyRequestTimeout) &&
                    WithinTimeout(now, LastUseTime, LastOpTimeout);
  if (!keep) DropSecretKey();
}

TMediumAccess::TMediumAccess(TCryptoC_DLL& binding, Mode mode) {
  if (!binding.Medium) return;
  lock_.emplace(*binding.Medium, mode);
  if (!lock_->Recovered()) return;
  TCryptoC_DLL::TGuard guard(binding.KeyLock);
  binding.ClearKeyCache();
  binding.DropSecretKey();
}

int32_t TCryptoC_DLL::HandOutKey(double now, bool signatureKey, int32_t lastOpTimeout, uint8_t* key,
                                 int32_t* algorithm, std::string* ownerUID, uint64_t* epoch) {
  if (!SecretKey || !KeyMask) return DZ_E_SECRET_KEY;
  const uint8_t* block = SecretKey->data();
  if (signatureKey) {
    for (int32_t i = 0; i < kMaskWords; ++i) {
      const uint32_t stored = static_cast<uint32_t>(rurov::ReadInt32LE(block + rurov::kSignKeyOffset + 4 * i));
      const uint32_t mask = static_cast<uint32_t>(rurov::ReadInt32LE(KeyMask->data() + 4 * i));
      rurov::WriteInt32LE(key + 4 * i, static_cast<int32_t>(stored + mask));
    }
    if (algorithm != nullptr) *algorithm = KeyAlgorithm;
  } else {
    std::memcpy(key, block + rurov::kExchangeKeyOffset, rurov::kExchangeKeySize);
  }
  if (ownerUID != nullptr) *ownerUID = OwnerUID;
  if (epoch != nullptr) *epoch = OwnKeyEpoch;
  LastOpTimeout = lastOpTimeout;
  LastUseTime = now;
  return DZ_OK;
}

int32_t TCryptoC_DLL::AcquireKeyBytes(const TKeySettings& settings, bool signatureKey, uint8_t* key,
                                      int32_t* algorithm, std::string* ownerUID, uint64_t* epoch) {
  if (key == nullptr) return DZ_E_BAD_ARGUMENT;
  const int32_t lastOpTimeout = settings.LastOpTimeout;
  {
    // A loaded key is handed out without touching the medium.
    TGuard guard(KeyLock);
    const double now = NowTimeOfDay();
    CheckKeyExpiry(now, settings.KeyRequestTimeout, lastOpTimeout);
    if (SecretKey) return HandOutKey(now, signatureKey, lastOpTimeout, key, algorithm, ownerUID, epoch);
  }
  // Both files are read under the medium's lock: never a pair half-replaced.
  const TMediumAccess medium(*this, TMediumAccess::Mode::kShared);
  TGuard guard(KeyLock);
  if (!SecretKey) {
    const int32_t loaded = LoadKeyFiles(settings.PublicKeyPath, settings.SecretKeyPath);
    if (loaded != DZ_OK) return loaded;
    KeyRequestTimeout = settings.KeyRequestTimeout;
    LoadTime = NowTimeOfDay();
    return HandOutKey(LoadTime, signatureKey, lastOpTimeout, key, algorithm, ownerUID, epoch);
  }
  return HandOutKey(NowTimeOfDay(), signatureKey, lastOpTimeout, key, algorithm, ownerUID, epoch);
}

int32_t TCryptoC_DLL::AcquireSignatureKey(const TKeySettings& settings, uint8_t* key, int32_t& algorithm,
                                          std::string* ownerUID) {
  return AcquireKeyBytes(settings, true, key, &algorithm, ownerUID);
}

int32_t TCryptoC_DLL::AcquireExchangeKey(const TKeySettings& settings, uint8_t* key) {
  return AcquireKeyBytes(settings, false, key, nullptr);
}

int32_t TCryptoC_DLL::ReadOwnerUID(const std::string& publicKeyPath, char* buffer) {
  if (buffer == nullptr) return DZ_E_BAD_ARGUMENT;
  {
    // The UID loaded with the key, copied under the lock (no copy of its own).
    TGuard guard(KeyLock);
    if (!OwnerUID.empty()) {
      if (OwnerUID.size() > static_cast<size_t>(rurov::kMaxUIDLength)) return DZ_E_PUBLIC_KEY;
      std::memcpy(buffer, OwnerUID.c_str(), OwnerUID.size() + 1);
      return DZ_OK;
    }
  }

  std::array<uint8_t, rurov::kMaxPublicKeyFileSize> record{};
  int32_t size = rurov::kMaxPublicKeyFileSize;
  {
    const TMediumAccess medium(*this, TMediumAccess::Mode::kShared);
    TGuard guard(KeyLock);
    if (!support::ReadWholeFile(publicKeyPath, record.data(), size)) return DZ_E_PUBLIC_KEY;
  }
  const auto owner = formats::ParseRecordUID(support::BytesAt(record.data(), size));
  if (!owner) return DZ_E_PUBLIC_KEY;
  std::memcpy(buffer, owner->data(), owner->size());
  buffer[owner->size()] = '\0';
  return DZ_OK;
}

}  // namespace dizora
