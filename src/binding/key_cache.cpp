// TCryptoC_DLL: the public-key cache and the correspondents' directory of
// public-key files.
#include <algorithm>
#include <cstring>
#include <new>

#include "binding/crypto_c_dll.h"
#include "binding/formats.h"
#include "platform/fs.h"
#include "support/fileutils.h"

namespace dizora {

namespace {

constexpr const char* kPublicKeySuffix = "pub";
constexpr const char* kNumberedMask = "pk*.pub";

// Whether the record stored in `node` is byte for byte `record`.
bool SameRecord(const TCryptoC_CashNode& node, const uint8_t* record, int32_t length) {
  return node.RecordLength == length && std::memcmp(node.Record.data(), record, static_cast<size_t>(length)) == 0;
}

// Whether `a` and `b` name one file: the same text, or the same file under
// another spelling or through a link.
bool IsSameFile(const std::string& a, const std::string& b) {
  return a == b || platform::SameFile(a, b).value_or(false);
}

// Whether a UID can name a file inside the directory as it is: no path
// delimiter, drive or wildcard character, no control character, not "." or "..".
bool IsPlainFileName(const std::string& uid) {
  if (uid.empty() || uid == "." || uid == "..") return false;
  for (unsigned char c : uid) {
    if (c < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
        c == '<' || c == '>' || c == '|')
      return false;
  }
  return true;
}

// Whether the cache holds `uid` as read from the own public-key file. Checked
// besides the owner's UID, which a failed read of that file leaves unknown:
// replacing or removing such an entry would delete the user's own key file.
bool IsOwnKeyEntry(const TCryptoC_KeyCache& cache, const std::string& uid, const std::string& publicKeyPath) {
  for (const TCryptoC_CacheEntry& entry : cache) {
    if (entry.Node->FileName == publicKeyPath && SameUIDIgnoreCase(entry.UID, uid)) return true;
  }
  return false;
}

}  // namespace

bool rurov::IsPublicKeyRecordFile(const std::string& path) noexcept {
  std::array<uint8_t, kMaxPublicKeyFileSize> record{};
  int32_t length = kMaxPublicKeyFileSize;
  return support::ReadWholeFile(path, record.data(), length) && IsPublicKeyRecord(record.data(), length);
}

int32_t TCryptoC_DLL::LoadPublicKeyFile(const std::string& fileName, TCryptoC_CashNode& node,
                                        std::string& uid) {
  if (!platform::PathExists(fileName)) return DZ_E_PUBLIC_KEY;
  int32_t size = rurov::kMaxPublicKeyFileSize;
  if (!support::ReadWholeFile(fileName, node.Record.data(), size)) return DZ_E_PUBLIC_KEY;
  node.FileName = fileName;
  node.RecordLength = size;
  node.HasMutualKey = false;
  support::WipeMemory(node.MutualKey.data(), node.MutualKey.size());
  const auto head = formats::ParseRecordHead(support::BytesAt(node.Record.data(), size));
  if (!head) return DZ_E_PUBLIC_KEY;
  uid.assign(head->uid);
  node.Algorithm = head->algorithm.value_or(rurov::kNoAlgorithm);
  return DZ_OK;
}

int32_t TCryptoC_DLL::LoadKeyCache(const TKeySettings& settings) {
  if (!KeyCache) KeyCache = std::make_unique<TCryptoC_KeyCache>();
  const std::string& publicKeyPath = settings.PublicKeyPath;
  std::vector<std::string> files{publicKeyPath};
  support::FindFilesBySuffix(settings.CorrespondentsDir, kPublicKeySuffix, files, true);
  int32_t result = DZ_OK;
  for (const std::string& file : files) {
    auto node = std::make_unique<TCryptoC_CashNode>();
    std::string uid;
    if (LoadPublicKeyFile(file, *node, uid) == DZ_OK)
      KeyCache->Append(std::move(uid), std::move(node));
    else if (platform::PathExists(file) || file == publicKeyPath)
      result = DZ_E_PUBLIC_KEY;
    // A correspondent's file removed since the listing (by a process that
    // does not take the medium's lock) is no key of this directory.
  }
  return result;
}

void TCryptoC_DLL::ClearKeyCache() { KeyCache.reset(); }

TCryptoC_CacheEntry* TCryptoC_DLL::FindCacheEntry(std::string_view uid) {
  if (!KeyCache) return nullptr;
  return KeyCache->First(uid);
}

std::string TCryptoC_DLL::ChangeMedium(const std::string& secretKeyPath) const {
  return Medium ? *Medium : support::MediumOfSecretKey(secretKeyPath);
}

template <class Op>
int32_t TCryptoC_DLL::WithKeyCache(const TKeySettings& settings, Op op) {
  {
    TGuard guard(KeyLock);
    if (KeyCache) return op();
  }
  const TMediumAccess medium(*this, TMediumAccess::Mode::kShared);
  TGuard guard(KeyLock);
  const int32_t filled = EnsureKeyCache(settings);
  if (filled != DZ_OK) return filled;
  return op();
}

int32_t TCryptoC_DLL::EnsureKeyCache(const TKeySettings& settings) {
  if (KeyCache) return DZ_OK;
  return LoadKeyCache(settings);
}

int32_t TCryptoC_DLL::GetPublicKey(const TKeySettings& settings, const std::string& uid, bool wantExchangeKey,
                                   uint8_t* key, int32_t& algorithm) {
  if (key == nullptr) return DZ_E_BAD_ARGUMENT;
  return WithKeyCache(settings, [&]() -> int32_t {
    const TCryptoC_CacheEntry* entry = FindCacheEntry(uid);
    if (entry == nullptr) return DZ_E_PUBLIC_KEY;

    const TCryptoC_CashNode& node = *entry->Node;
    const auto record = formats::ParseRecordKeys(support::BytesAt(node.Record.data(), node.RecordLength));
    if (!record) return DZ_E_PUBLIC_KEY;
    const formats::ByteSpan wanted = wantExchangeKey ? record->exchangeKey : record->signatureKey;
    std::memcpy(key, wanted.data(), wanted.size());
    algorithm = record->algorithm;
    return DZ_OK;
  });
}

int32_t TCryptoC_DLL::GetPublicKeyRecord(const TKeySettings& settings, const char* uid, uint8_t* output,
                                         int32_t& outputLength, int32_t outputSize) {
  outputLength = 0;
  return WithKeyCache(settings, [&]() -> int32_t {
    if (uid == nullptr) return DZ_E_PUBLIC_KEY;
    const TCryptoC_CacheEntry* entry = FindCacheEntry(uid);
    if (entry == nullptr) return DZ_E_PUBLIC_KEY;
    const TCryptoC_CashNode& node = *entry->Node;
    if (output == nullptr) return DZ_E_BAD_ARGUMENT;
    if (node.RecordLength > outputSize) return DZ_E_PUBLIC_KEY;
    std::memcpy(output, node.Record.data(), static_cast<size_t>(node.RecordLength));
    outputLength = node.RecordLength;
    return DZ_OK;
  });
}

TCryptoC_DLL::TEntryPlan TCryptoC_DLL::PlanEntry(const TKeySettings& settings, const std::string& uid) {
  const std::string& correspondentsDir = settings.CorrespondentsDir;
  const std::string& publicKeyPath = settings.PublicKeyPath;
  const std::string directory = support::AppendPathDelimiter(correspondentsDir);
  std::vector<std::string> earlier;
  for (const TCryptoC_CacheEntry& entry : *KeyCache) {
    const std::string& file = entry.Node->FileName;
    if (SameUIDIgnoreCase(entry.UID, uid) && !IsSameFile(file, publicKeyPath)) earlier.push_back(file);
  }
  TEntryPlan plan;
  plan.Claimed = true;
  const std::string name = uid + "." + kPublicKeySuffix;
  if (IsPlainFileName(uid) && platform::IsUsableFileName(directory, name)) {
    plan.FileName = directory + name;
    // Taken by an earlier, replaceable file of the same UID: replaced in one step.
    if (const auto attributes = platform::GetPathAttributes(plan.FileName)) {
      const bool replaceable = (*attributes & (platform::kAttrDirectory | platform::kAttrReadOnly)) == 0;
      plan.Claimed = !(replaceable && std::any_of(earlier.begin(), earlier.end(), [&](const std::string& file) {
                         return IsSameFile(file, plan.FileName);
                       }));
      if (plan.Claimed) plan.FileName.clear();
    }
  }
  if (plan.FileName.empty())
    plan.FileName = directory + "pk" + std::to_string(support::NextFileNumber(correspondentsDir, kNumberedMask)) +
                    "." + kPublicKeySuffix;
  // A read-only file of an earlier entry cannot be removed: it stays, and
  // so does its entry, ahead of the new one.
  for (const std::string& file : earlier) {
    const auto attributes = platform::GetPathAttributes(file);
    const bool removable = attributes && (*attributes & (platform::kAttrDirectory | platform::kAttrReadOnly)) == 0;
    if (removable && !IsSameFile(file, plan.FileName)) plan.Replaced.push_back(file);
  }
  return plan;
}

void TCryptoC_DLL::DropStoredEntries(const std::string& uid, const std::string& kept) {
  while (const TCryptoC_CacheEntry* entry = FindCacheEntry(uid)) {
    const std::string& fileName = entry->Node->FileName;
    if (!IsSameFile(fileName, kept) && platform::PathExists(fileName)) break;
    KeyCache->RemoveFirst(uid);
  }
}

bool TCryptoC_DLL::TransferMayStore(const std::string& uid, const std::string& signer, const uint8_t* record,
                                    int32_t recordLength) {
  const TCryptoC_CacheEntry* stored = FindCacheEntry(uid);
  return stored == nullptr || SameRecord(*stored->Node, record, recordLength) || SameUIDIgnoreCase(signer, uid);
}

int32_t TCryptoC_DLL::IncludePublicKeyRecord(const TKeySettings& settings, const uint8_t* record,
                                             int32_t recordLength, const std::string* transferSigner,
                                             std::string* storedFile) {
  if (record == nullptr) return DZ_E_BAD_ARGUMENT;
  const auto parsed = formats::ParsePublicKeyRecord(support::BytesAt(record, recordLength));
  if (!parsed) return DZ_E_PUBLIC_KEY;
  const std::string uid(parsed->uid);

  // The whole include holds the medium: the names chosen below stay free.
  const TMediumAccess medium(*this, TMediumAccess::Mode::kExclusive);
  // The own key is never replaced through the cache, whatever the letter case.
  const std::string& publicKeyPath = settings.PublicKeyPath;
  char own[rurov::kUIDBufferSize] = {};
  if (ReadOwnerUID(publicKeyPath, own) == DZ_OK && SameUIDIgnoreCase(uid, own))
    return DZ_E_INCLUDE_OWN_KEY;

  TGuard guard(KeyLock);
  const int32_t filled = EnsureKeyCache(settings);
  if (filled != DZ_OK) return filled;
  if (IsOwnKeyEntry(*KeyCache, uid, publicKeyPath)) return DZ_E_INCLUDE_OWN_KEY;
  if (transferSigner != nullptr && !TransferMayStore(uid, *transferSigner, record, recordLength))
    return DZ_LIB_BAD_SIGNATURE;

  // The new file is complete on disk before an earlier file of the UID
  // goes, and the two happen as one change: after a kill, the next lock of
  // the medium completes it, so the UID never has neither key nor both.
  const TEntryPlan plan = PlanEntry(settings, uid);
  support::Placement placement;
  placement.target = plan.FileName;
  placement.data = record;
  placement.size = static_cast<size_t>(recordLength);
  placement.numberedMask = plan.Claimed ? kNumberedMask : "";
  placement.removeFirst = plan.Replaced;
  if (!plan.Replaced.empty()) {
    std::vector<support::Placement> change{placement};
    const support::ChangeResult made = support::ApplyChange(ChangeMedium(settings.SecretKeyPath), change);
    if (made != support::ChangeResult::kDone) {
      if (made == support::ChangeResult::kInterrupted) ClearKeyCache();
      return DZ_E_PUBLIC_KEY_FILE;
    }
    placement.placedAt = change.front().placedAt;
  } else if (plan.Claimed ? !support::ClaimNewFile(placement)
                          : !support::WriteWholeFile(plan.FileName, record, recordLength)) {
    return DZ_E_PUBLIC_KEY_FILE;
  } else if (!plan.Claimed) {
    placement.placedAt = plan.FileName;
  }
  DropStoredEntries(uid, placement.placedAt);

  auto node = std::make_unique<TCryptoC_CashNode>();
  node->FileName = placement.placedAt;
  node->RecordLength = recordLength;
  node->HasMutualKey = false;
  std::memcpy(node->Record.data(), record, static_cast<size_t>(recordLength));
  node->Algorithm = parsed->algorithm;
  KeyCache->Append(uid, std::move(node));
  if (storedFile != nullptr) *storedFile = placement.placedAt;
  return DZ_OK;
}

int32_t TCryptoC_DLL::DeletePublicKeyEntries(const std::string& uid, const std::string& keep) {
  if (!KeyCache) return DZ_OK;
  if (FindCacheEntry(uid) == nullptr) return DZ_E_PUBLIC_KEY;
  while (const TCryptoC_CacheEntry* entry = FindCacheEntry(uid)) {
    // A file that is already gone counts as deleted; the kept file stays.
    const std::string& fileName = entry->Node->FileName;
    const bool kept = !keep.empty() && IsSameFile(fileName, keep);
    if (!kept && !platform::RemoveFile(fileName) && platform::PathExists(fileName)) return DZ_E_PUBLIC_KEY_FILE;
    KeyCache->RemoveFirst(uid);
  }
  return DZ_OK;
}

int32_t TCryptoC_DLL::RemovePublicKey(const TKeySettings& settings, const std::string& uid) {
  const TMediumAccess medium(*this, TMediumAccess::Mode::kExclusive);
  TGuard guard(KeyLock);
  // The own UID from the loaded key, or else from the own public-key file.
  char own[rurov::kUIDBufferSize] = {};
  if (ReadOwnerUID(settings.PublicKeyPath, own) == DZ_OK && SameUIDIgnoreCase(uid, own))
    return DZ_E_REMOVE_OWN_KEY;
  const int32_t filled = EnsureKeyCache(settings);
  if (filled != DZ_OK) return filled;
  if (IsOwnKeyEntry(*KeyCache, uid, settings.PublicKeyPath)) return DZ_E_REMOVE_OWN_KEY;
  return DeletePublicKeyEntries(uid);
}

int32_t TCryptoC_DLL::RefreshPublicKey(const TKeySettings& settings, const std::string& uid) {
  const std::string& correspondentsDir = settings.CorrespondentsDir;
  const TMediumAccess medium(*this, TMediumAccess::Mode::kShared);
  TGuard guard(KeyLock);
  if (KeyCache) {
    TCryptoC_CashNode scratch;
    std::string fileUID;
    if (TCryptoC_CacheEntry* entry = FindCacheEntry(uid)) {
      if (LoadPublicKeyFile(entry->Node->FileName, scratch, fileUID) == DZ_OK && fileUID == uid) {
        *entry->Node = scratch;  // drops the mutual key
        return DZ_OK;
      }
    } else {
      const std::string directory = support::AppendPathDelimiter(correspondentsDir);
      bool found = LoadPublicKeyFile(directory + uid + "." + kPublicKeySuffix, scratch, fileUID) == DZ_OK &&
                   fileUID == uid;
      if (!found) {
        std::vector<std::string> files;
        support::FindFilesBySuffix(correspondentsDir, kPublicKeySuffix, files, true);
        for (const std::string& file : files) {
          if (LoadPublicKeyFile(file, scratch, fileUID) == DZ_OK && fileUID == uid) {
            found = true;
            break;
          }
        }
      }
      if (!found) return DZ_E_PUBLIC_KEY;
      KeyCache->Append(fileUID, std::make_unique<TCryptoC_CashNode>(scratch));
      return DZ_OK;
    }
  }

  // Full reload of the cache.
  if (!support::IsDirectory(correspondentsDir)) return DZ_E_PUBLIC_KEY;
  ClearKeyCache();
  const int32_t loaded = LoadKeyCache(settings);
  if (loaded != DZ_OK) return loaded;
  return FindCacheEntry(uid) != nullptr ? DZ_OK : DZ_E_PUBLIC_KEY;
}

bool TCryptoC_DLL::FindCachedMutualKey(const std::string& uid, uint8_t* key, std::optional<uint64_t> epoch) {
  if (key == nullptr) return false;
  TGuard guard(KeyLock);
  const TCryptoC_CacheEntry* entry = FindCacheEntry(uid);
  if (entry == nullptr || !entry->Node->HasMutualKey) return false;
  if (entry->Node->MutualKeyEpoch != epoch.value_or(OwnKeyEpoch)) return false;
  std::memcpy(key, entry->Node->MutualKey.data(), rurov::kMutualKeySize);
  return true;
}

void TCryptoC_DLL::StoreMutualKey(const std::string& uid, const uint8_t* key, std::optional<uint64_t> epoch) {
  if (key == nullptr) return;
  TGuard guard(KeyLock);
  TCryptoC_CacheEntry* entry = FindCacheEntry(uid);
  const uint64_t of = epoch.value_or(OwnKeyEpoch);
  if (entry == nullptr || (entry->Node->HasMutualKey && entry->Node->MutualKeyEpoch == of)) return;
  std::memcpy(entry->Node->MutualKey.data(), key, rurov::kMutualKeySize);
  entry->Node->MutualKeyEpoch = of;
  entry->Node->HasMutualKey = true;
}

}  // namespace dizora
