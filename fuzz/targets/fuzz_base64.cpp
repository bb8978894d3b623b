// Base64 decoding of arbitrary text; what decodes must encode back to text
// that decodes to the same bytes, and any bytes must survive a round trip.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <memory>
#include <string_view>

#include "support/base64.h"

using dizora::support::DecodeBase64;
using dizora::support::EncodeBase64;

[[noreturn]] static void Finding(const char* what) {
  std::fprintf(stderr, "FUZZ FINDING: %s\n", what);
  std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size > 1 << 20) return 0;
  const auto count = static_cast<int32_t>(size);
  auto text = std::make_unique<char[]>(size + 1);
  std::memcpy(text.get(), input, size);
  std::unique_ptr<uint8_t[]> decoded;
  int32_t decodedLength = -1;
  try {
    DecodeBase64(text.get(), count, decoded, decodedLength);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if ((decoded == nullptr) != (decodedLength == 0)) Finding("decoder result and length disagree");
  if (decodedLength < 0 || decodedLength > count) Finding("decoded length out of range");

  // Raw bytes: encode, decode, compare.
  if (size > 0) {
    std::unique_ptr<char[]> encoded;
    int32_t encodedLength = 0;
    EncodeBase64(input, count, encoded, encodedLength);
    if (encodedLength != 4 * ((count + 2) / 3)) Finding("encoded length");
    std::unique_ptr<uint8_t[]> back;
    int32_t backLength = 0;
    DecodeBase64(encoded.get(), encodedLength, back, backLength);
    if (backLength != count || std::memcmp(back.get(), input, size) != 0) Finding("round trip changed bytes");
  }
  return 0;
}
