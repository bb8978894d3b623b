// The engine's signed layouts: signed data (AddSign, RemoveSign and every
// transfer) and the transfer record a transfer carries. Pure functions over
// bytes: no I/O, no cryptography; integers are 32-bit little-endian.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "binding/formats.h"

namespace dizora::formats {

// ---- Signed data -------------------------------------------------------------
// The data (N bytes), the signature block over it, N.
inline constexpr int32_t kSignedDataTrailerSize = 4;

struct TSignedData {
  ByteSpan data;
  ByteSpan signatureBlock;  // not checked here: see ParseSignatureBlock
};
// Nullopt when N is below 1 or leaves no byte for the signature block.
std::optional<TSignedData> ParseSignedData(ByteSpan bytes) noexcept;

// ---- Transfer record ---------------------------------------------------------------
// 776 bytes: the file name zero-padded to 256 bytes, the record length B, the
// public-key record in a 516-byte field (zero-padded).
inline constexpr int32_t kTransferRecordSize = 776;
inline constexpr int32_t kTransferNameSize = 256;
inline constexpr int32_t kTransferRecordFieldSize = 516;

struct TTransferFields {
  std::string_view name;  // up to its zero byte; the whole field when it has none
  ByteSpan record;        // B bytes, not checked here: see ParsePublicKeyRecord
};
// Nullopt when fewer than 776 bytes are given or B lies outside
// 1..kMaxPublicKeyFileSize. Bytes after the 776 are not read.
std::optional<TTransferFields> ParseTransferRecord(ByteSpan bytes) noexcept;

// Writes the transfer record of `record` named `name` (cut to 255
// characters) into `out`; false, with nothing written, when the record's
// length lies outside 1..kMaxPublicKeyFileSize.
bool WriteTransferRecord(std::string_view name, ByteSpan record,
                         std::span<uint8_t, kTransferRecordSize> out) noexcept;

}  // namespace dizora::formats
