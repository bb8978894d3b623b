#include "binding/formats.h"

namespace dizora {

namespace formats {

namespace {

constexpr auto Size(int32_t size) { return static_cast<size_t>(size); }

// The signature and exchange public keys that make up all of `keys`.
bool SplitKeys(ByteSpan keys, int32_t algorithm, TPublicKeyRecord& record) noexcept {
  ByteReader in(keys);
  const auto signatureKey = in.ReadBytes(Size(SignatureKeySize(algorithm)));
  const auto exchangeKey = in.ReadBytes(Size(rurov::kExchangeKeySize));
  if (!signatureKey || !exchangeKey || !in.Empty()) return false;
  record.signatureKey = *signatureKey;
  record.exchangeKey = *exchangeKey;
  return true;
}

bool IsKnownAlgorithm(int32_t algorithm) noexcept {
  return algorithm == rurov::kGost1994 || algorithm == rurov::kGost2001;
}

}  // namespace

std::optional<int32_t> ReadInt32(ByteReader& in) noexcept {
  const auto word = in.ReadU32LE();
  if (!word) return std::nullopt;
  return static_cast<int32_t>(*word);
}

int32_t SignatureKeySize(int32_t algorithm) noexcept {
  if (algorithm == rurov::kGost1994) return rurov::kPublicKey1994Size;
  if (algorithm == rurov::kGost2001) return rurov::kPublicKey2001Size;
  return 0;
}

std::optional<std::string_view> ParseRecordUID(ByteSpan record) noexcept {
  ByteReader in(record);
  const auto uid = in.ReadText(Size(rurov::kMaxUIDLength));
  if (!uid || uid->empty()) return std::nullopt;
  return uid;
}

std::optional<TRecordHead> ParseRecordHead(ByteSpan record) noexcept {
  ByteReader in(record);
  const auto uid = in.ReadText(ByteReader::kAnyLength);
  if (!uid) return std::nullopt;
  const auto algorithm = ReadInt32(in);
  if (!algorithm) in.Skip(in.Remaining());  // no word, so no keys either
  return TRecordHead{*uid, algorithm, in.Rest()};
}

std::optional<TPublicKeyRecord> ParseRecordKeys(ByteSpan record) noexcept {
  const auto head = ParseRecordHead(record);
  if (!head || !head->algorithm) return std::nullopt;
  TPublicKeyRecord keys{head->uid, *head->algorithm, {}, {}};
  if (!SplitKeys(head->keys, keys.algorithm, keys)) return std::nullopt;
  return keys;
}

std::optional<TPublicKeyRecord> ParsePublicKeyRecord(ByteSpan record) noexcept {
  auto keys = ParseRecordKeys(record);
  if (!keys || keys->uid.empty() || keys->uid.size() > Size(rurov::kMaxUIDLength) ||
      !IsKnownAlgorithm(keys->algorithm))
    return std::nullopt;
  return keys;
}

std::optional<TSecretKeyFile> ParseSecretKeyFile(ByteSpan file) noexcept {
  ByteReader in(file);
  const auto algorithm = ReadInt32(in);
  const auto signatureKey = in.ReadBytes(Size(rurov::kSignSecretKeySize));
  const auto exchangeKey = in.ReadBytes(Size(rurov::kExchangeKeySize));
  if (!algorithm || !IsKnownAlgorithm(*algorithm) || !signatureKey || !exchangeKey || !in.Empty())
    return std::nullopt;
  return TSecretKeyFile{*algorithm, *signatureKey, *exchangeKey};
}

std::optional<TSignatureBlock> ParseSignatureBlock(ByteSpan block) noexcept {
  ByteReader in(block);
  const auto uid = in.ReadText(Size(rurov::kMaxUIDLength));
  if (!uid || uid->empty()) return std::nullopt;
  // The library always reads 64 bytes of the value: exactly those must follow.
  const auto value = in.ReadBytes(Size(rurov::kSignatureValueSize));
  if (!value || !in.Empty()) return std::nullopt;
  return TSignatureBlock{*uid, *value};
}

std::optional<TBlockHeader> ReadBlockHeader(ByteReader& in) noexcept {
  ByteReader at = in;
  const auto count = ReadInt32(at);
  const auto method = ReadInt32(at);
  if (!count || !method) return std::nullopt;
  const auto sender = at.ReadText(ByteReader::kAnyLength);
  if (!sender) return std::nullopt;
  in = at;
  return TBlockHeader{*count, *method, *sender};
}

std::optional<TBlockEntry> ReadBlockEntry(ByteReader& in) noexcept {
  ByteReader at = in;
  const auto uid = at.ReadText(ByteReader::kAnyLength);
  if (!uid) return std::nullopt;
  const auto iv = at.ReadBytes(Size(rurov::kIvSize));
  const auto mac = at.ReadBytes(Size(rurov::kMacSize));
  const auto key = at.ReadBytes(Size(rurov::kDataKeySize));
  if (!iv || !mac || !key) return std::nullopt;
  in = at;
  return TBlockEntry{*uid, *iv, *mac, *key};
}

std::optional<TBlockData> ReadBlockData(ByteReader& in) noexcept {
  ByteReader at = in;
  const auto iv = at.ReadBytes(Size(rurov::kIvSize));
  const auto mac = at.ReadBytes(Size(rurov::kMacSize));
  if (!iv || !mac) return std::nullopt;
  const ByteSpan ciphertext = at.Rest();
  at.Skip(ciphertext.size());
  in = at;
  return TBlockData{*iv, *mac, ciphertext};
}

std::optional<TEncryptedBlock> ParseEncryptedBlock(ByteSpan block, std::string_view own) noexcept {
  ByteReader in(block);
  const auto header = ReadBlockHeader(in);
  if (!header) return std::nullopt;
  TEncryptedBlock parsed{*header, std::nullopt, std::nullopt};
  int32_t index = 0;
  for (; index < header->count && !parsed.own; ++index) {
    const auto entry = ReadBlockEntry(in);
    if (!entry) return std::nullopt;
    if (entry->uid == own) parsed.own = entry;
  }
  if (!parsed.own) return parsed;
  for (; index < header->count; ++index) {
    if (!ReadBlockEntry(in)) return parsed;
  }
  parsed.data = ReadBlockData(in);
  return parsed;
}

}  // namespace formats

bool rurov::IsPublicKeyRecord(const uint8_t* record, int32_t length) noexcept {
  return formats::ParsePublicKeyRecord(support::BytesAt(record, length)).has_value();
}

}  // namespace dizora
