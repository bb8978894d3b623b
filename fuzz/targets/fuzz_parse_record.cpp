// The public-key record parsers on any bytes (seeds: the media's public-key
// files). Each is checked against the layout and against the others: the
// head is the text up to the first zero byte and what follows; the keys
// parse takes a head whose rest is exactly the algorithm's two keys, and
// writes back to the input; the strict parse is the keys parse with a UID of
// 1 to 254 characters and algorithm 0 or 1, and IsPublicKeyRecord agrees.
#include <cstring>

#include "binding/formats.h"
#include "views.h"

using namespace dzfuzz;
namespace formats = dizora::formats;
namespace rurov = dizora::rurov;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MaybeWriteSeeds(PublicKeySeeds);
  return 0;
}

static void CheckHead(ByteSpan bytes, const std::optional<formats::TRecordHead>& head) {
  const void* zero = bytes.empty() ? nullptr : std::memchr(bytes.data(), 0, bytes.size());
  Require(head.has_value() == (zero != nullptr), "record head taken or refused against its zero byte");
  if (!head) return;
  const size_t uid = static_cast<size_t>(static_cast<const uint8_t*>(zero) - bytes.data());
  Require(head->uid.data() == reinterpret_cast<const char*>(bytes.data()) && head->uid.size() == uid,
          "the head's UID is not the text before the first zero");
  const size_t rest = bytes.size() - uid - 1;
  Require(head->algorithm.has_value() == (rest >= 4), "algorithm read or missed against the length");
  Require(Inside(head->keys, bytes) && head->keys.size() == (rest >= 4 ? rest - 4 : 0) &&
              (head->keys.empty() || head->keys.data() + head->keys.size() == bytes.data() + bytes.size()),
          "the head's keys are not the rest of the record");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteSpan bytes(data, size);
  const auto head = formats::ParseRecordHead(bytes);
  CheckHead(bytes, head);

  const auto uid = formats::ParseRecordUID(bytes);
  const bool recordUID = head && !head->uid.empty() && head->uid.size() <= rurov::kMaxUIDLength;
  Require(uid.has_value() == recordUID && (!uid || *uid == head->uid), "record UID against the head");

  const auto keys = formats::ParseRecordKeys(bytes);
  const bool keysExpected =
      head && head->algorithm &&
      head->keys.size() == static_cast<size_t>(formats::SignatureKeySize(*head->algorithm) + rurov::kExchangeKeySize);
  Require(keys.has_value() == keysExpected, "keys taken or refused against the head");
  if (keys) {
    Require(Inside(keys->signatureKey, bytes) && Inside(keys->exchangeKey, bytes), "a view outside the input");
    Bytes again;
    PutText(again, keys->uid);
    PutInt32(again, keys->algorithm);
    Put(again, keys->signatureKey);
    Put(again, keys->exchangeKey);
    Require(Same(again, bytes), "UID, algorithm and keys are not the input");
  }

  const auto record = formats::ParsePublicKeyRecord(bytes);
  const bool strict = keys && recordUID && (keys->algorithm == rurov::kGost1994 || keys->algorithm == rurov::kGost2001);
  Require(record.has_value() == strict, "public-key record taken or refused against the keys parse");
  Require(rurov::IsPublicKeyRecord(data, static_cast<int32_t>(size)) == strict,
          "IsPublicKeyRecord disagrees with the parse");
  return 0;
}
