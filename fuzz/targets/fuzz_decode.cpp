// DecodeData on arbitrary blocks (seeds: valid blocks for the user).
#include <cstring>

#include "media.h"

using namespace dzfuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MaybeWriteSeeds(EncryptedBlockSeeds);
  TheMedia();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  // Exactly the input's bytes: any access past them is a finding.
  Bytes block(data, data + size);
  block.shrink_to_fit();
  int32_t length = static_cast<int32_t>(size);
  const int32_t code = DecodeData(TheMedia().user, size ? block.data() : nullptr, &length, 0);
  if (code == 0 && (length < 0 || static_cast<size_t>(length) > size)) Fail("decoded length out of range");
  return 0;
}
