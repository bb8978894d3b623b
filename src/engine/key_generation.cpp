// Key generation: local generation into the paths of the settings, and remote
// regeneration of the working pair together with the bank.
//
// Remote regeneration keeps its files in the regeneration directory:
// "new.pub" (the new public key) and "sec.dat" (the new secret key encrypted
// for the current user); the new secret key is never on disk in clear. Both
// steps hold the medium's exclusive lock throughout and write their files as
// one change (support/medium.h): the start puts a pending pair ("new.pub" and
// "sec.dat" of one generation) in place of any earlier one or leaves the
// directory as it was; the finish installs the pair and removes these files
// (and a "new.sec" an earlier version left), nothing else.
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
#include "support/medium.h"
#include "support/secure.h"

namespace dizora {

namespace {

constexpr char kNewPublicKey[] = "new.pub";
constexpr char kNewSecretKey[] = "new.sec";
constexpr char kSealedSecretKey[] = "sec.dat";
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

// The regeneration's own files, removed by the finish: nothing else of the
// directory (the host may have named the key medium itself).
std::vector<std::string> RegenerationFiles(const std::string& dir) {
  return {dir + kNewPublicKey, dir + kSealedSecretKey, dir + kNewSecretKey};
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
  return MediumFrame("InternalRemoteGenerateStart", [&](TCryptoC_DLL& binding, const TKeySettings& s) -> int32_t {
    std::array<char, rurov::kUIDBufferSize> current{};
    const int32_t read = binding.ReadOwnerUID(s.PublicKeyPath, current.data());
    if (read != DZ_OK) return read;
    int32_t algorithm = 0;
    const int32_t chosen = KeyGenAlgorithm(algorithm);
    if (chosen != DZ_OK) return chosen;
    TCryptoC_DLL::TKeyPairImages pair;
    const int32_t generated = binding.GenerateKeyPairImages(algorithm, uid, pair);
    if (generated != DZ_OK) return generated;

    // The sealed key and the transfer are made before any file changes: a
    // start that fails leaves an earlier pending pair as it was.
    // Room for the key and one recipient's block; the clear key is wiped on
    // every path.
    support::SecureBuffer sealed(pair.SecretKey.size() +
                                 static_cast<size_t>(TCryptoC_DLL::GetMaxEncryptAddition(1)));
    int32_t size = static_cast<int32_t>(pair.SecretKey.size());
    std::memcpy(sealed.data(), pair.SecretKey.data(), pair.SecretKey.size());
    const int32_t encrypted = SealNewSecretKey(sealed.data(), size, current.data());
    if (encrypted != DZ_OK) return encrypted;
    const auto publicLength = static_cast<int32_t>(pair.PublicKey.size());
    const int32_t made = TransferOfRecord(pair.PublicKey.data(), publicLength, transfer);
    if (made != DZ_OK) return made;

    std::vector<support::Placement> change(2);
    change[0].target = dir + kNewPublicKey;
    change[0].data = pair.PublicKey.data();
    change[0].size = pair.PublicKey.size();
    change[1].target = dir + kSealedSecretKey;
    change[1].data = sealed.data();
    change[1].size = static_cast<size_t>(size);
    change[1].access = platform::FileAccess::kPrivate;
    const support::ChangeResult placed = support::ApplyChange(binding.ChangeMedium(s.SecretKeyPath), change);
    return placed == support::ChangeResult::kDone ? DZ_OK : DZ_E_PUBLIC_KEY_FILE;
  });
}

// The key is sealed for exactly the owner: the UID is one recipient even when
// it holds a ';'. `buffer` has room for the key and one recipient's block.
int32_t TCryptoCEngine::SealNewSecretKey(uint8_t* buffer, int32_t& size, const char* owner) {
  try {
    return EncryptFor(buffer, &size, {owner}, TCryptoC_DLL::GetMaxEncryptAddition(1));
  } catch (const std::exception& e) {
    return ExceptionResult("InternalRemoteGenerateStart", e);
  }
}

// ---- Remote regeneration: finish ---------------------------------------------

int32_t TCryptoCEngine::RemoteGenerateFinish(intptr_t) {
  return MediumFrame("RemoteGenerateFinish", [&](TCryptoC_DLL& binding, const TKeySettings& s) -> int32_t {
    std::array<char, rurov::kUIDBufferSize> current{};
    const int32_t read = binding.ReadOwnerUID(s.PublicKeyPath, current.data());
    if (read != DZ_OK) return read;
    std::array<uint8_t, rurov::kMaxPublicKeyFileSize> previous{};
    int32_t previousLength = 0;
    const int32_t found = binding.GetPublicKeyRecord(s, current.data(), previous.data(), previousLength);
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

    // The previous key stays known as a correspondent's key (unless the pair
    // kept its UID), and the regeneration's files go, in the same change.
    const TCryptoC_DLL::TFinishExtras extras{RegenerationFiles(dir), previous.data(), previousLength};
    const int32_t replaced = binding.ReplaceKeyFiles(s, dir + kNewPublicKey, secret.data(), size, &extras);
    secret.Wipe();
    return replaced;
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

  // The pending key is compared and installed under one lock: a start of
  // another process cannot replace it in between.
  const int32_t finished = MediumFrame("RemoteGenerateFinish", [&](TCryptoC_DLL&, const TKeySettings&) -> int32_t {
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
    return RemoteGenerateFinish(0);
  });
  if (finished == DZ_OK) *state = DZ_REGEN_DONE;
  return finished;
}

}  // namespace dizora
