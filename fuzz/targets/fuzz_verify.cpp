// VerifyData and VerifySignWOCheckValidity on arbitrary data and signature
// blocks. Input: 2 bytes of data length (little-endian, taken modulo the
// input), the data, then the signature block.
#include <memory>

#include "media.h"

using namespace dzfuzz;

static Bytes Compose(const Bytes& data, const Bytes& signature) {
  Bytes input{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(data.size() >> 8)};
  input.insert(input.end(), data.begin(), data.end());
  input.insert(input.end(), signature.begin(), signature.end());
  return input;
}

static void Seeds(const std::string& dir) {
  Media& m = TheMedia();
  for (size_t n : {1u, 5u, 300u}) {  // the engine refuses to sign empty data (-4)
    const Bytes data(n, 0x42);
    WriteSeed(dir, "user_" + std::to_string(n), Compose(data, Sign(m.user, data)));
    WriteSeed(dir, "peer_" + std::to_string(n), Compose(data, Sign(m.peer, data)));
  }
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MaybeWriteSeeds(Seeds);
  TheMedia();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 2 || size > 1 << 20) return 0;
  size_t n = static_cast<size_t>(input[0] | (input[1] << 8));
  n = n % (size - 1);
  const Bytes data(input + 2, input + 2 + n);
  const Bytes signature(input + 2 + n, input + size);
  auto signer = std::make_unique<char[]>(255);
  const auto ds = static_cast<int32_t>(data.size());
  const auto ss = static_cast<int32_t>(signature.size());
  const int32_t a = VerifyData(TheMedia().user, data.data(), ds, signature.data(), ss, signer.get());
  const int32_t b =
      VerifySignWOCheckValidity(TheMedia().user, data.data(), ds, signature.data(), ss, signer.get());
  if ((a == 0) != (b == 0)) Fail("the two verifications disagree");
  return 0;
}
