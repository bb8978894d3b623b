// TCryptoC_DLL: installation of a regenerated key pair in place of the current
// one, keeping the previous pair as "old.sec" and "old.pub".
#include "binding/crypto_c_dll.h"
#include "binding/formats.h"
#include "platform/fs.h"
#include "platform/path_style.h"
#include "support/fileutils.h"

namespace dizora {

namespace {

constexpr char kNumberedMask[] = "pk*.pub";

// Directory part of a path, with its trailing delimiter ("" when none).
std::string DirectoryOf(const std::string& path) {
  const size_t last = path.find_last_of(platform::kPathDelimiter);
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

// An existing file that a change could not move out of the way.
bool Blocks(const std::string& path) {
  const auto attributes = platform::GetPathAttributes(path);
  return attributes && (*attributes & (platform::kAttrDirectory | platform::kAttrReadOnly)) != 0;
}

// The UID at the start of a public-key record.
std::string RecordUID(const uint8_t* record) { return reinterpret_cast<const char*>(record); }

}  // namespace

int32_t TCryptoC_DLL::ReplaceKeyFiles(const TKeySettings& settings, const std::string& newPublicKeyPath,
                                      const uint8_t* newSecretKey, int32_t newSecretKeyLength,
                                      const TFinishExtras* extras) {
  const std::string& publicKeyPath = settings.PublicKeyPath;
  const std::string& secretKeyPath = settings.SecretKeyPath;
  const TMediumAccess medium(*this, TMediumAccess::Mode::kExclusive);
  TGuard guard(KeyLock);
  if (!platform::PathExists(publicKeyPath)) return DZ_E_PUBLIC_KEY;
  if (!platform::PathExists(secretKeyPath)) return DZ_E_SECRET_KEY;
  if (newSecretKey == nullptr || newSecretKeyLength != rurov::kSecretKeyFileSize) return DZ_E_SECRET_KEY_FILE;

  // The new public key is taken into memory: the regeneration directory may
  // lie on another file system, and the pair is checked before anything moves.
  std::array<uint8_t, rurov::kMaxPublicKeyFileSize> newPublic{};
  int32_t newPublicLength = rurov::kMaxPublicKeyFileSize;
  if (!support::ReadWholeFile(newPublicKeyPath, newPublic.data(), newPublicLength)) return DZ_E_PUBLIC_KEY_FILE;
  const auto record = formats::ParsePublicKeyRecord(support::BytesAt(newPublic.data(), newPublicLength));
  if (!record) return DZ_E_PUBLIC_KEY_FILE;
  const int32_t algorithm = rurov::ReadInt32LE(newSecretKey);
  if (algorithm != record->algorithm) return DZ_E_KEY_MISMATCH;
  const int32_t paired = CheckKeyPair(algorithm, newSecretKey + rurov::kAlgorithmWordSize, record->signatureKey.data(),
                                      record->exchangeKey.data());
  if (paired != DZ_OK) return paired;

  const std::string directory = support::AppendPathDelimiter(DirectoryOf(secretKeyPath));
  const std::string oldSecretPath = directory + "old.sec";
  const std::string oldPublicPath = directory + "old.pub";
  if (Blocks(oldSecretPath)) return DZ_E_SECRET_KEY_FILE;
  if (Blocks(oldPublicPath)) return DZ_E_PUBLIC_KEY_FILE;

  // The new secret key is private and no less strict than the one it
  // replaces; the previous pair moves to the old files as it goes.
  std::vector<support::Placement> change(2);
  change[0].target = secretKeyPath;
  change[0].data = newSecretKey;
  change[0].size = static_cast<size_t>(newSecretKeyLength);
  change[0].access = platform::FileAccess::kPrivate;
  change[0].backup = oldSecretPath;
  change[1].target = publicKeyPath;
  change[1].data = newPublic.data();
  change[1].size = static_cast<size_t>(newPublicLength);
  change[1].backup = oldPublicPath;
  change[1].removeFirst = {newPublicKeyPath};
  if (extras != nullptr) {
    change[1].removeFirst.insert(change[1].removeFirst.end(), extras->RegenerationFiles.begin(),
                                 extras->RegenerationFiles.end());
    // The previous key among the correspondents' keys, unless the new pair
    // kept its UID (then it would be the own key).
    const uint8_t* previous = extras->PreviousRecord;
    if (previous != nullptr && rurov::IsPublicKeyRecord(previous, extras->PreviousRecordLength) &&
        !SameUIDIgnoreCase(RecordUID(previous), RecordUID(newPublic.data())) &&
        EnsureKeyCache(settings) == DZ_OK) {
      const TEntryPlan plan = PlanEntry(settings, RecordUID(previous));
      support::Placement& entry = change.emplace_back();
      entry.target = plan.FileName;
      entry.data = previous;
      entry.size = static_cast<size_t>(extras->PreviousRecordLength);
      entry.numberedMask = plan.Claimed ? kNumberedMask : "";
      entry.removeFirst = std::move(change[1].removeFirst);
      entry.removeFirst.insert(entry.removeFirst.end(), plan.Replaced.begin(), plan.Replaced.end());
      change[1].removeFirst.clear();
    }
  }
  const support::ChangeResult made = support::ApplyChange(ChangeMedium(secretKeyPath), change);
  if (made == support::ChangeResult::kNotMade) return DZ_E_SECRET_KEY_FILE;

  // Whatever happened on disk, the next operation loads from it.
  ClearKeyCache();
  DropSecretKey();
  return made == support::ChangeResult::kDone ? DZ_OK : DZ_E_PUBLIC_KEY_FILE;
}

}  // namespace dizora
