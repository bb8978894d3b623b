// ParseSignatureBlock on any bytes (seeds: SignData output). It succeeds
// exactly when a UID of 1 to 254 characters and its zero are followed by
// exactly 64 bytes; then UID, zero and value are the input.
#include <cstring>

#include "binding/formats.h"
#include "views.h"

using namespace dzfuzz;
namespace formats = dizora::formats;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MaybeWriteSeeds(SignatureSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteSpan bytes(data, size);
  const void* zero = size ? std::memchr(data, 0, size) : nullptr;
  const size_t uid = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : 0;
  const bool expected = zero != nullptr && uid >= 1 && uid <= 254 && size == uid + 1 + 64;
  const auto block = formats::ParseSignatureBlock(bytes);
  Require(block.has_value() == expected, "signature block taken or refused against its layout");
  if (!block) return 0;
  Require(Inside(block->uid, bytes) && Inside(block->value, bytes), "a view outside the input");
  Bytes again;
  PutText(again, block->uid);
  Put(again, block->value);
  Require(Same(again, bytes), "UID and value are not the input");
  return 0;
}
