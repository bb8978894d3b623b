// ParseSecretKeyFile on any bytes (seeds: the media's secret-key files). It
// succeeds exactly for 164 bytes with algorithm 0 or 1; then algorithm and
// keys are the input.
#include "binding/formats.h"
#include "views.h"

using namespace dzfuzz;
namespace formats = dizora::formats;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MaybeWriteSeeds(SecretKeySeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteSpan bytes(data, size);
  const bool expected = size == 164 && data[1] == 0 && data[2] == 0 && data[3] == 0 && data[0] <= 1;
  const auto file = formats::ParseSecretKeyFile(bytes);
  Require(file.has_value() == expected, "secret-key file taken or refused against its layout");
  if (!file) return 0;
  Require(Inside(file->signatureKey, bytes) && Inside(file->exchangeKey, bytes), "a view outside the input");
  Bytes again;
  PutInt32(again, file->algorithm);
  Put(again, file->signatureKey);
  Put(again, file->exchangeKey);
  Require(Same(again, bytes), "algorithm and keys are not the input");
  return 0;
}
