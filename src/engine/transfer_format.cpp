#include "engine/transfer_format.h"

#include <algorithm>
#include <cstring>

namespace dizora::formats {

namespace {

constexpr auto Size(int32_t size) { return static_cast<size_t>(size); }

constexpr int32_t kTransferLengthSize = 4;

bool IsRecordLength(int64_t length) { return length >= 1 && length <= rurov::kMaxPublicKeyFileSize; }

}  // namespace

std::optional<TSignedData> ParseSignedData(ByteSpan bytes) noexcept {
  if (bytes.size() < Size(kSignedDataTrailerSize)) return std::nullopt;
  ByteReader in(bytes);
  const auto signedPart = in.ReadBytes(bytes.size() - Size(kSignedDataTrailerSize));
  const auto dataLength = ReadInt32(in);
  if (!signedPart || !dataLength || *dataLength < 1) return std::nullopt;
  ByteReader part(*signedPart);
  const auto data = part.ReadBytes(Size(*dataLength));
  if (!data || part.Empty()) return std::nullopt;
  return TSignedData{*data, part.Rest()};
}

std::optional<TTransferFields> ParseTransferRecord(ByteSpan bytes) noexcept {
  ByteReader in(bytes);
  const auto nameField = in.ReadBytes(Size(kTransferNameSize));
  const auto length = ReadInt32(in);
  const auto recordField = in.ReadBytes(Size(kTransferRecordFieldSize));
  if (!nameField || !length || !recordField || !IsRecordLength(*length)) return std::nullopt;
  const auto name = ByteReader(*nameField).ReadText(Size(kTransferNameSize) - 1);
  const std::string_view wholeField(reinterpret_cast<const char*>(nameField->data()), nameField->size());
  return TTransferFields{name.value_or(wholeField), recordField->first(Size(*length))};
}

bool WriteTransferRecord(std::string_view name, ByteSpan record,
                         std::span<uint8_t, kTransferRecordSize> out) noexcept {
  if (!IsRecordLength(static_cast<int64_t>(record.size()))) return false;
  std::fill(out.begin(), out.end(), uint8_t{0});
  uint8_t* at = out.data();
  if (!name.empty()) std::memcpy(at, name.data(), std::min(name.size(), Size(kTransferNameSize) - 1));
  at += kTransferNameSize;
  rurov::WriteInt32LE(at, static_cast<int32_t>(record.size()));
  at += kTransferLengthSize;
  std::memcpy(at, record.data(), record.size());
  return true;
}

}  // namespace dizora::formats
