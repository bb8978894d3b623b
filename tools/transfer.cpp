// Base64 and the layout of transfers, read by the tool for its messages.
#include "transfer.h"

#include <cstring>

#include "errors.h"
#include "text.h"

namespace dztool {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kTransferRecordSize = 776;
constexpr size_t kRecordLengthOffset = 256;
constexpr size_t kRecordOffset = 260;

int Sextet(char c) {
  const char* at = std::strchr(kAlphabet, c);
  return c != '\0' && at != nullptr ? static_cast<int>(at - kAlphabet) : -1;
}

// Standard base64 with its padding; false for anything else.
bool DecodeBase64(std::string_view text, std::vector<uint8_t>& out) {
  if (text.empty() || text.size() % 4 != 0) return false;
  out.clear();
  for (size_t i = 0; i < text.size(); i += 4) {
    int v[4];
    for (size_t k = 0; k < 4; ++k) v[k] = text[i + k] == '=' && i + 4 == text.size() && k >= 2 ? 0 : Sextet(text[i + k]);
    if (v[0] < 0 || v[1] < 0 || v[2] < 0 || v[3] < 0 || (text[i + 2] == '=' && text[i + 3] != '=')) return false;
    const uint32_t n = (uint32_t(v[0]) << 18) | (uint32_t(v[1]) << 12) | (uint32_t(v[2]) << 6) | uint32_t(v[3]);
    out.push_back(static_cast<uint8_t>(n >> 16));
    if (text[i + 2] != '=') out.push_back(static_cast<uint8_t>(n >> 8));
    if (text[i + 3] != '=') out.push_back(static_cast<uint8_t>(n));
  }
  return true;
}

uint32_t ReadLE32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }

}  // namespace

std::string EncodeBase64(const uint8_t* bytes, size_t size) {
  std::string out;
  for (size_t i = 0; i < size; i += 3) {
    const uint32_t n = (uint32_t{bytes[i]} << 16) | (i + 1 < size ? bytes[i + 1] << 8 : 0) |
                       (i + 2 < size ? bytes[i + 2] : 0);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += i + 1 < size ? kAlphabet[(n >> 6) & 63] : '=';
    out += i + 2 < size ? kAlphabet[n & 63] : '=';
  }
  return out;
}

std::string BlockSigner(const uint8_t* block, size_t size) {
  const size_t n = strnlen(reinterpret_cast<const char*>(block), size);
  return n < size ? std::string(reinterpret_cast<const char*>(block), n) : std::string();
}

Transfer DecodeTransfer(const TransferText& text) {
  const auto refuse = [&](const std::string& why) {
    return Failure(kExitRefused, text.source + " holds no transfer: " + why);
  };
  Transfer t;
  if (!DecodeBase64(text.text, t.bytes)) throw refuse("not base64");
  if (t.bytes.size() < kTransferRecordSize + 4 || ReadLE32(t.bytes.data() + t.bytes.size() - 4) != kTransferRecordSize)
    throw refuse("not a signed transfer record");
  t.data_size = kTransferRecordSize;
  t.claimed_signer = BlockSigner(t.signature(), t.signature_size());
  const uint32_t record_size = ReadLE32(t.bytes.data() + kRecordLengthOffset);
  if (record_size == 0 || record_size > kTransferRecordSize - kRecordOffset) throw refuse("no key record in it");
  t.key_uid = BlockSigner(t.bytes.data() + kRecordOffset, record_size);
  return t;
}

}  // namespace dztool
