// The public-key cache's index by folded UID: every lookup and removal gives
// what a scan of the entries in insertion order with the binding's UID
// comparison gives, duplicates and letter case included.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "binding/crypto_c_dll.h"

namespace dizora {
namespace {

std::unique_ptr<TCryptoC_CashNode> NodeNumbered(int32_t n) {
  auto node = std::make_unique<TCryptoC_CashNode>();
  node->RecordLength = n;  // marks which insertion the entry came from
  return node;
}

// The reference: a plain list scanned from the front.
struct ScannedList {
  std::vector<std::pair<std::string, int32_t>> entries;
  int32_t First(const std::string& uid) const {
    for (const auto& e : entries)
      if (SameUIDIgnoreCase(e.first, uid)) return e.second;
    return -1;
  }
  bool RemoveFirst(const std::string& uid) {
    for (auto it = entries.begin(); it != entries.end(); ++it) {
      if (SameUIDIgnoreCase(it->first, uid)) {
        entries.erase(it);
        return true;
      }
    }
    return false;
  }
};

int32_t Mark(TCryptoC_CacheEntry* entry) { return entry == nullptr ? -1 : entry->Node->RecordLength; }

TEST(KeyCacheIndex, FirstEntryInInsertionOrderWinsWhateverTheLetterCase) {
  TCryptoC_KeyCache cache;
  cache.Append("Alice", NodeNumbered(1));
  cache.Append("Bob", NodeNumbered(2));
  cache.Append("ALICE", NodeNumbered(3));
  cache.Append("\xC8\xE2\xE0\xED", NodeNumbered(4));  // Cyrillic, capital first letter
  EXPECT_EQ(Mark(cache.First("alice")), 1);
  EXPECT_EQ(Mark(cache.First("aLiCe")), 1);
  EXPECT_EQ(Mark(cache.First("\xE8\xE2\xE0\xED")), 4);  // all small letters
  EXPECT_EQ(Mark(cache.First("Alic")), -1);
  EXPECT_EQ(Mark(cache.First("")), -1);

  EXPECT_TRUE(cache.RemoveFirst("ALICE"));  // removes entry 1, the first of the UID
  EXPECT_EQ(Mark(cache.First("alice")), 3);
  EXPECT_TRUE(cache.RemoveFirst("alice"));
  EXPECT_EQ(Mark(cache.First("Alice")), -1);
  EXPECT_FALSE(cache.RemoveFirst("Alice"));
  EXPECT_EQ(cache.size(), 2u);

  // Iteration keeps insertion order after removals and appends.
  cache.Append("alice", NodeNumbered(5));
  std::vector<std::string> order;
  for (const TCryptoC_CacheEntry& e : cache) order.push_back(e.UID);
  EXPECT_EQ(order, (std::vector<std::string>{"Bob", "\xC8\xE2\xE0\xED", "alice"}));
}

TEST(KeyCacheIndex, AgreesWithAScanOnRandomAppendsAndRemovals) {
  std::mt19937 gen(12345);
  // Few distinct letters so that duplicates in other letter cases are common.
  const std::string letters = "aAbB\xE0\xC0\xB8\xA8";
  auto randomUID = [&] {
    std::string uid;
    const size_t n = 1 + gen() % 3;
    for (size_t i = 0; i < n; ++i) uid += letters[gen() % letters.size()];
    return uid;
  };
  TCryptoC_KeyCache cache;
  ScannedList reference;
  for (int32_t step = 0; step < 5000; ++step) {
    const std::string uid = randomUID();
    switch (gen() % 3) {
      case 0:
        cache.Append(uid, NodeNumbered(step));
        reference.entries.emplace_back(uid, step);
        break;
      case 1:
        ASSERT_EQ(cache.RemoveFirst(uid), reference.RemoveFirst(uid)) << uid;
        break;
      default:
        ASSERT_EQ(Mark(cache.First(uid)), reference.First(uid)) << uid;
    }
    ASSERT_EQ(cache.size(), reference.entries.size());
  }
  size_t i = 0;
  for (const TCryptoC_CacheEntry& e : cache) {
    EXPECT_EQ(e.UID, reference.entries[i].first);
    EXPECT_EQ(e.Node->RecordLength, reference.entries[i].second);
    ++i;
  }
}

TEST(KeyCacheIndex, FoldKeyIsSharedExactlyByUIDsTheComparisonCallsEqual) {
  for (int a = 1; a < 256; ++a) {
    for (int b = 1; b < 256; ++b) {
      const std::string x(1, static_cast<char>(a)), y(1, static_cast<char>(b));
      ASSERT_EQ(UIDFoldKey(x) == UIDFoldKey(y), SameUIDIgnoreCase(x, y)) << a << " " << b;
    }
  }
}

}  // namespace
}  // namespace dizora
