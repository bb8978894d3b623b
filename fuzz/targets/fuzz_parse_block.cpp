// The encrypted-block parsers on any bytes (seeds: blocks for one and two
// recipients). The block is read part by part: a part that does not fit
// leaves the reader in place, and a block read whole writes back to the
// input. ParseEncryptedBlock, for the UID of each of the first entries and
// for a UID of none, must agree with that reading: the first entry of the
// UID, the data part exactly when everything after it was read, refused
// when the block breaks off before the UID's entry.
#include <vector>

#include "binding/formats.h"
#include "views.h"

using namespace dzfuzz;
namespace formats = dizora::formats;
using formats::ByteReader;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MaybeWriteSeeds(EncryptedBlockSeeds);
  return 0;
}

namespace {

// The block read part by part, as far as its parts fit.
struct Reading {
  std::optional<formats::TBlockHeader> header;
  std::vector<formats::TBlockEntry> entries;
  bool entriesWhole = false;  // all `count` entries read
  std::optional<formats::TBlockData> data;
};

// Reads one part; a failed read must leave the reader where it was.
template <class Read>
auto Part(ByteReader& in, Read read) {
  const ByteSpan before = in.Rest();
  auto part = read(in);
  Require(part.has_value() || (in.Rest().data() == before.data() && in.Rest().size() == before.size()),
          "a part that does not fit moved the reader");
  return part;
}

Reading ReadWhole(ByteSpan bytes) {
  Reading r;
  ByteReader in(bytes);
  r.header = Part(in, formats::ReadBlockHeader);
  if (!r.header) return r;
  for (int32_t i = 0; i < r.header->count; ++i) {
    const auto entry = Part(in, formats::ReadBlockEntry);
    if (!entry) return r;
    r.entries.push_back(*entry);
  }
  r.entriesWhole = true;
  r.data = Part(in, formats::ReadBlockData);
  Require(!r.data || in.Empty(), "the ciphertext does not run to the end");
  return r;
}

void CheckWrittenBack(const Reading& r, ByteSpan bytes) {
  Require(Inside(r.header->sender, bytes) && Inside(r.data->iv, bytes) && Inside(r.data->mac, bytes) &&
              Inside(r.data->ciphertext, bytes),
          "a view outside the input");
  Bytes again;
  PutInt32(again, r.header->count);
  PutInt32(again, r.header->method);
  PutText(again, r.header->sender);
  for (const auto& e : r.entries) {
    Require(Inside(e.uid, bytes) && Inside(e.iv, bytes) && Inside(e.mac, bytes) && Inside(e.key, bytes),
            "a view outside the input");
    PutText(again, e.uid);
    Put(again, e.iv);
    Put(again, e.mac);
    Put(again, e.key);
  }
  Put(again, r.data->iv);
  Put(again, r.data->mac);
  Put(again, r.data->ciphertext);
  Require(Same(again, bytes), "the parts of the block are not the input");
}

bool SameView(ByteSpan a, ByteSpan b) { return a.data() == b.data() && a.size() == b.size(); }

void CheckRecipient(const Reading& r, ByteSpan bytes, std::string_view own) {
  const auto block = formats::ParseEncryptedBlock(bytes, own);
  if (!r.header) {
    Require(!block, "a block without a header taken");
    return;
  }
  const formats::TBlockEntry* first = nullptr;
  for (const auto& e : r.entries) {
    if (e.uid == own) {
      first = &e;
      break;
    }
  }
  if (first == nullptr) {
    // Not among the entries read: refused when the block broke off before.
    Require(block.has_value() == r.entriesWhole && (!block || (!block->own && !block->data)),
            "a block without the UID's entry read wrongly");
    return;
  }
  Require(block && block->own && block->own->uid.data() == first->uid.data() && SameView(block->own->key, first->key),
          "not the first entry of the UID");
  Require(block->data.has_value() == r.data.has_value(), "the data part against the reading");
  if (block->data) Require(SameView(block->data->ciphertext, r.data->ciphertext), "another ciphertext");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteSpan bytes(data, size);
  const Reading r = ReadWhole(bytes);
  if (r.data) CheckWrittenBack(r, bytes);
  for (size_t i = 0; i < r.entries.size() && i < 3; ++i) CheckRecipient(r, bytes, r.entries[i].uid);
  CheckRecipient(r, bytes, "\x7f no entry's UID");
  return 0;
}
