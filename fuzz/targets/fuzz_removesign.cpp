// RemoveSign on arbitrary signed buffers (seeds: AddSign output).
#include <memory>

#include "media.h"

using namespace dzfuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MaybeWriteSeeds(SignedDataSeeds);
  TheMedia();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size > 1 << 20) return 0;
  Bytes buffer(input, input + size);
  buffer.shrink_to_fit();
  int32_t length = static_cast<int32_t>(size);
  auto signer = std::make_unique<char[]>(255);
  const int32_t code = RemoveSign(TheMedia().user, size ? buffer.data() : nullptr, &length, signer.get());
  if (code == 0 && (length < 0 || static_cast<size_t>(length) > size)) Fail("stripped length out of range");
  return 0;
}
