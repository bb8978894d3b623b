// Key generation: local generation into the paths of the settings, and remote
// regeneration of the working pair together with the bank.
//
// Remote regeneration keeps its files in the regeneration directory:
// "new.pub" (the new public key), "sec.dat" (the new secret key encrypted for
// the current user) and, only during the start step, "new.sec" (the new secret
// key in clear). The start step leaves either a consistent pending pair
// ("new.pub" and "sec.dat" of one generation) or nothing of its own; the
// finish step installs the pair and removes these files, nothing else.
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "engine/binding_registry.h"
#include "engine/crypto_c_engine.h"
#include "binding/crypto_c_dll.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "support/fileutils.h"
#include "support/secure.h"

namespace dizora {

namespace {

constexpr char kNewPublicKey[] = "new.pub";
constexpr char kNewSecretKey[] = "new.sec";
constexpr char kSealedSecretKey[] = "sec.dat";
// A "new.sec" longer than this is not a secret-key file.
constexpr int32_t kMaxNewSecretKeyFile = 165;
// Length of " (dd-mm-yyyy hh-mm-ss)".
constexpr size_t kDateSuffixLength = 22;


// " (dd-mm-yyyy hh-mm-ss)" of the current local time.
std::string DateSuffix() {
  const platform::LocalTime t = platform::CurrentLocalTime();
  char text[64];
  std::snprintf(text, sizeof text, " (%02d-%02d-%04d %02d-%02d-%02d)", static_cast<int>(t.day),
                static_cast<int>(t.month), static_cast<int>(t.year), static_cast<int>(t.hour),
                static_cast<int>(t.minute), static_cast<int>(t.second));
  return text;
}

// The bytes of a public-key file; empty when it is missing or unreadable.
std::vector<uint8_t> PublicKeyFileBytes(const std::string& path) {
  std::vector<uint8_t> bytes(rurov::kMaxPublicKeyFileSize);
  int32_t size = static_cast<int32_t>(bytes.size());
  if (!support::ReadWholeFile(path, bytes.data(), size)) size = 0;
  bytes.resize(static_cast<size_t>(size));
  return bytes;
}

// The regeneration's own files removed, and nothing else of the directory
// (the host may have named the key medium itself): after a finish, and after
// a failed start, which must leave no clear secret key and no "new.pub" that
// would not match "sec.dat".
void DiscardPendingPair(const std::string& dir) {
  platform::RemoveFile(dir + kNewSecretKey);
  platform::RemoveFile(dir + kSealedSecretKey);
  platform::RemoveFile(dir + kNewPublicKey);
}

}  // namespace

// ---- Shared pieces -----------------------------------------------------------

int32_t TCryptoCEngine::KeyGenAlgorithm(int32_t& algorithm) const {
  const std::string year = TrimSettingText(SettingValue(kSetKeyGenGost));
  if (year == "2001") {
    algorithm = rurov::kGost2001;
  } else if (year == "1994") {
    algorithm = rurov::kGost1994;
  } else {
    return DZ_E_UNKNOWN_ALGORITHM;
  }
  return DZ_OK;
}

bool TCryptoCEngine::HasKeyPair() const {
  return platform::PathExists(ExpandRootPath(SettingValue(kSetPublicKey).c_str())) &&
         platform::PathExists(ExpandRootPath(SettingValue(kSetSecretKey).c_str()));
}

std::string TCryptoCEngine::RegenerationDir() const {
  if (RemoteGeneratePath.empty() || !support::IsDirectory(RemoteGeneratePath)) return "";
  return RemoteGeneratePath;
}

// ---- Local generation --------------------------------------------------------

int32_t TCryptoCEngine::GenerateNewSEK() {
  return BindingFrame("GenerateNewSEK", SettingsRegistryKey(), [&](TCryptoC_DLL& binding) -> int32_t {
    int32_t algorithm = 0;
    const int32_t chosen = KeyGenAlgorithm(algorithm);
    if (chosen != DZ_OK) return chosen;
    return binding.GenerateKeyPair(algorithm, TrimSettingText(SettingValue(kSetKeyGenUID)),
                                   ExpandRootPath(SettingValue(kSetKeyGenPublicFile).c_str()),
                                   ExpandRootPath(SettingValue(kSetKeyGenSecretFile).c_str()));
  });
}

int32_t TCryptoCEngine::GenerateNewSSK() { return GenerateNewSEK(); }

int32_t TCryptoCEngine::GetRemoteGenType() { return 0; }

// ---- Remote regeneration: start ----------------------------------------------

int32_t TCryptoCEngine::RemoteGenerateStart(char* transfer) {
  if (transfer == nullptr) return DZ_E_BAD_ARGUMENT;
  std::array<char, rurov::kUIDBufferSize> uid{};
  const int32_t read = GetCurrentUID(uid.data());
  if (read != DZ_OK) return read;
  return InternalRemoteGenerateStart(transfer, uid.data());
}

int32_t TCryptoCEngine::RemoteGenerateStartEx(const char* uid, char* transfer, int32_t* state) {
  if (state == nullptr) return DZ_E_BAD_ARGUMENT;
  if (*state == DZ_REGEN_ACT && !HasKeyPair()) {
    *state = DZ_REGEN_NO_KEY_PAIR;
    return DZ_OK;
  }
  std::string newUID;
  if (uid != nullptr && uid[0] != '\0') {
    newUID = uid;
  } else {
    std::array<char, rurov::kUIDBufferSize> current{};
    const int32_t read = GetCurrentUID(current.data());
    if (read != DZ_OK) return read;
    std::string base;
    support::StripDateSuffix(current.data(), base);
    // Keep the new UID within the longest UID a key file may carry.
    const size_t room = static_cast<size_t>(GetMaxUIDLength()) - kDateSuffixLength;
    if (base.size() > room) base.resize(room);
    newUID = base + DateSuffix();
  }
  const int32_t started = InternalRemoteGenerateStart(transfer, newUID);
  if (started == DZ_OK) *state = DZ_REGEN_DONE;
  return started;
}

int32_t TCryptoCEngine::InternalRemoteGenerateStart(char* transfer, const std::string& uid) {
  const std::string dir = RegenerationDir();
  if (dir.empty()) return DZ_E_REGEN_DIR_INVALID;
  if (transfer == nullptr) return DZ_E_BAD_ARGUMENT;
  // A UID the key files cannot carry would make the installed pair unusable.
  if (uid.empty() || uid.size() > static_cast<size_t>(GetMaxUIDLength())) return DZ_E_EMPTY_UID;
  std::array<char, rurov::kUIDBufferSize> current{};
  const int32_t read = GetCurrentUID(current.data());
  if (read != DZ_OK) return read;
  int32_t algorithm = 0;
  const int32_t chosen = KeyGenAlgorithm(algorithm);
  if (chosen != DZ_OK) return chosen;

  const std::vector<uint8_t> pending = PublicKeyFileBytes(dir + kNewPublicKey);
  const int32_t generated =
      BindingFrame("InternalRemoteGenerateStart", SettingsRegistryKey(), [&](TCryptoC_DLL& binding) -> int32_t {
        return binding.GenerateKeyPair(algorithm, uid, dir + kNewPublicKey, dir + kNewSecretKey);
      });
  if (generated != DZ_OK) {
    // A failed write of "new.sec" leaves a new "new.pub" that an earlier
    // "sec.dat" does not match.
    if (PublicKeyFileBytes(dir + kNewPublicKey) != pending) DiscardPendingPair(dir);
    return generated;
  }
  const int32_t sealed = SealNewSecretKey(dir, current.data());
  if (sealed != DZ_OK) {
    DiscardPendingPair(dir);
    return sealed;
  }
  // A pair whose transfer the caller never received cannot be finished with
  // the bank: a failed start leaves nothing of its own.
  const int32_t made = TransferOfKeyFile(dir + kNewPublicKey, transfer);
  if (made != DZ_OK) DiscardPendingPair(dir);
  return made;
}

// The key is sealed for exactly the owner: the UID is one recipient even when
// it holds a ';', and the buffer has room for one recipient's block.
int32_t TCryptoCEngine::SealNewSecretKey(const std::string& dir, const char* owner) {
  try {
    const int32_t growth = TCryptoC_DLL::GetMaxEncryptAddition(1);
    support::SecureBuffer buffer(static_cast<size_t>(kMaxNewSecretKeyFile + growth));  // wiped on every path
    int32_t size = kMaxNewSecretKeyFile;
    if (!support::ReadWholeFile(dir + kNewSecretKey, buffer.data(), size)) return DZ_E_SECRET_KEY_FILE;
    const int32_t encrypted = EncryptFor(buffer.data(), &size, {owner}, growth);
    if (encrypted != DZ_OK) return encrypted;
    if (!support::WriteWholeFile(dir + kSealedSecretKey, buffer.data(), size, platform::FileAccess::kPrivate))
      return DZ_E_PUBLIC_KEY_FILE;
    if (!platform::RemoveFile(dir + kNewSecretKey)) return DZ_E_SECRET_KEY_FILE;
    return DZ_OK;
  } catch (const std::exception& e) {
    return ExceptionResult("InternalRemoteGenerateStart", e);
  }
}

// ---- Remote regeneration: finish ---------------------------------------------

int32_t TCryptoCEngine::RemoteGenerateFinish(intptr_t) {
  std::array<char, rurov::kUIDBufferSize> current{};
  const int32_t read = GetCurrentUID(current.data());
  if (read != DZ_OK) return read;
  std::array<uint8_t, rurov::kMaxPublicKeyFileSize> previous{};
  int32_t previousLength = 0;

  return KeyFrame("RemoteGenerateFinish", [&](TCryptoC_DLL& binding, const TKeySettings& s) -> int32_t {
    const int32_t found = binding.GetPublicKeyRecord(s.PublicKeyPath, s.CorrespondentsDir, s.CADir,
                                                     current.data(), previous.data(), previousLength);
    if (found != DZ_OK) return found;

    const std::string dir = RegenerationDir();
    if (dir.empty()) return DZ_E_REGEN_DIR_INVALID;
    if (!platform::PathExists(dir + kNewPublicKey) || !platform::PathExists(dir + kSealedSecretKey))
      return DZ_E_REGEN_KEYS_MISSING;

    const int32_t addition = GetMaxEncodeAddition();
    if (addition < 0) return DZ_E_NO_MEMORY;
    support::SecureBuffer secret;
    try {
      secret = support::SecureBuffer(static_cast<size_t>(addition) + rurov::kSecretKeyFileSize);
    } catch (const std::bad_alloc&) {
      return DZ_E_NO_MEMORY;
    }
    int32_t size = static_cast<int32_t>(secret.size());
    if (!support::ReadWholeFile(dir + kSealedSecretKey, secret.data(), size)) return DZ_E_SECRET_KEY_FILE;
    const int32_t opened = DecodeData(secret.data(), &size, 0);
    if (opened != DZ_OK) return opened;
    if (size != rurov::kSecretKeyFileSize) return DZ_E_REGEN_SECRET_KEY;

    const int32_t replaced = binding.ReplaceKeyFiles(s.PublicKeyPath, s.SecretKeyPath,
                                                     dir + kNewPublicKey, secret.data(), size);
    secret.Wipe();
    if (replaced != DZ_OK) return replaced;

    DiscardPendingPair(dir);
    // The previous key stays known as a correspondent's key; a refusal (the
    // pair kept its UID) changes nothing.
    binding.IncludePublicKeyRecord(s.PublicKeyPath, s.SecretKeyPath, s.CorrespondentsDir, s.CADir,
                                   s.KeyRequestTimeout, s.LastOpTimeout, previous.data(),
                                   previousLength);
    return DZ_OK;
  });
}

int32_t TCryptoCEngine::RemoteGenerateFinishEx(const char* transfer, int32_t* state) {
  if (state == nullptr) return DZ_E_BAD_ARGUMENT;
  if (*state == DZ_REGEN_ACT && !HasKeyPair()) {
    *state = DZ_REGEN_NO_KEY_PAIR;
    return DZ_OK;
  }
  TTransferRecord block;
  const int32_t opened = GetPublicKeyBlockByTransfer(transfer, block);
  if (opened != DZ_OK) return opened;

  const std::string dir = RegenerationDir();
  if (dir.empty()) return DZ_E_REGEN_DIR_INVALID;
  const std::string newKey = dir + kNewPublicKey;
  if (!platform::PathExists(newKey)) return DZ_E_REGEN_KEYS_MISSING;
  std::array<uint8_t, rurov::kMaxPublicKeyFileSize> prepared{};
  int32_t preparedLength = 0;
  if (ReadPublicKeyFile(newKey, prepared.data(), preparedLength) != DZ_OK) return DZ_E_PUBLIC_KEY_FILE;
  if (preparedLength != block.RecordLength() ||
      std::memcmp(prepared.data(), block.Record(), static_cast<size_t>(preparedLength)) != 0)
    return DZ_E_REGEN_KEY_MISMATCH;

  const int32_t finished = RemoteGenerateFinish(0);
  if (finished == DZ_OK) *state = DZ_REGEN_DONE;
  return finished;
}

}  // namespace dizora
