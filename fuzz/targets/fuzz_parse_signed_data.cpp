// ParseSignedData on any bytes (seeds: AddSign output). It succeeds exactly
// when the trailer N is positive and leaves at least one byte for the
// signature block; then data, block and trailer are the input in order.
#include "engine/transfer_format.h"
#include "views.h"

using namespace dzfuzz;
namespace formats = dizora::formats;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MaybeWriteSeeds(SignedDataSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteSpan bytes(data, size);
  const int64_t n = size >= 4 ? Int32At(data + size - 4) : -1;
  const bool expected = n > 0 && n + 4 < static_cast<int64_t>(size);
  const auto parts = formats::ParseSignedData(bytes);
  Require(parts.has_value() == expected, "signed data taken or refused against its trailer");
  if (!parts) return 0;
  Require(Inside(parts->data, bytes) && Inside(parts->signatureBlock, bytes), "a view outside the input");
  Bytes again;
  Put(again, parts->data);
  Put(again, parts->signatureBlock);
  PutInt32(again, static_cast<int32_t>(parts->data.size()));
  Require(Same(again, bytes), "data, block and trailer are not the input");
  return 0;
}
