// DecodeData on arbitrary blocks (seeds: valid blocks for the user).
#include <cstring>

#include "media.h"

using namespace dzfuzz;

static void Seeds(const std::string& dir) {
  Media& m = TheMedia();
  for (size_t n : {0u, 1u, 64u, 1000u}) {
    const Bytes data(n, static_cast<uint8_t>(n + 1));
    WriteSeed(dir, "peer_to_user_" + std::to_string(n), Encrypt(m.peer, kUser, data));
    WriteSeed(dir, "user_to_both_" + std::to_string(n), Encrypt(m.user, "Fuzz U;Fuzz P", data));
  }
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MaybeWriteSeeds(Seeds);
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
