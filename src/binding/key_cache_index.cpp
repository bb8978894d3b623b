// TCryptoC_KeyCache: the public-key cache's entries in insertion order and
// their index by folded UID.
#include <algorithm>

#include "binding/crypto_c_dll.h"

namespace dizora {

void TCryptoC_KeyCache::Append(std::string uid, std::unique_ptr<TCryptoC_CashNode> node) {
  std::string key = UIDFoldKey(uid);
  Entries.push_back(TCryptoC_CacheEntry{std::move(uid), std::move(node)});
  Index[std::move(key)].push_back(std::prev(Entries.end()));
}

TCryptoC_CacheEntry* TCryptoC_KeyCache::First(std::string_view uid) {
  const auto bucket = Index.find(UIDFoldKey(uid));
  if (bucket == Index.end()) return nullptr;
  // The comparison itself decides; the key only narrows the candidates.
  for (const TList::iterator& entry : bucket->second) {
    if (SameUIDIgnoreCase(entry->UID, uid)) return &*entry;
  }
  return nullptr;
}

bool TCryptoC_KeyCache::RemoveFirst(std::string_view uid) {
  const auto bucket = Index.find(UIDFoldKey(uid));
  if (bucket == Index.end()) return false;
  std::vector<TList::iterator>& entries = bucket->second;
  const auto found = std::find_if(entries.begin(), entries.end(),
                                  [&](const TList::iterator& e) { return SameUIDIgnoreCase(e->UID, uid); });
  if (found == entries.end()) return false;
  Entries.erase(*found);
  entries.erase(found);
  if (entries.empty()) Index.erase(bucket);
  return true;
}

}  // namespace dizora
