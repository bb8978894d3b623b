#include "oracle_formats.h"

#include <cstring>

namespace oracle {

namespace {

constexpr size_t kMaxUid = 254;
constexpr size_t kTransferRecordSize = 776;
constexpr size_t kTransferNameField = 256;
constexpr size_t kTransferRecordField = 516;

// Reads fields front to back; any read past the end makes it fail for good.
class Reader {
 public:
  Reader(const uint8_t* bytes, size_t size) : p_(bytes), size_(size) {}
  explicit Reader(const Bytes& bytes) : Reader(bytes.data(), bytes.size()) {}

  bool ok() const { return ok_; }
  size_t left() const { return ok_ ? size_ - at_ : 0; }

  int32_t Int() {
    const Bytes b = Take(4);
    return ok_ ? static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24) : -1;
  }
  Bytes Take(size_t n) {
    if (!ok_ || n > size_ - at_) {
      ok_ = false;
      return {};
    }
    at_ += n;
    return Bytes(p_ + at_ - n, p_ + at_);
  }
  // A zero-terminated UID of 1..254 characters.
  std::string Uid() {
    const void* zero = ok_ ? std::memchr(p_ + at_, 0, size_ - at_) : nullptr;
    const size_t n = zero ? static_cast<const uint8_t*>(zero) - (p_ + at_) : 0;
    if (zero == nullptr || n == 0 || n > kMaxUid) {
      ok_ = false;
      return {};
    }
    std::string text(reinterpret_cast<const char*>(p_ + at_), n);
    at_ += n + 1;
    return text;
  }

 private:
  const uint8_t* p_;
  size_t size_;
  size_t at_ = 0;
  bool ok_ = true;
};

void PutInt(Bytes& out, int32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

void PutUid(Bytes& out, const std::string& uid) {
  out.insert(out.end(), uid.begin(), uid.end());
  out.push_back(0);
}

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

}  // namespace

std::optional<PublicKeyRecord> ReadPublicKeyRecord(const Bytes& bytes) {
  Reader in(bytes);
  PublicKeyRecord r;
  r.uid = in.Uid();
  r.algorithm = in.Int();
  if (r.algorithm != kGost94 && r.algorithm != kGost2001) return std::nullopt;
  r.signatureKey = in.Take(r.algorithm == kGost94 ? 128 : 100);
  r.exchangeKey = in.Take(128);
  if (!in.ok() || in.left() != 0) return std::nullopt;
  return r;
}

std::optional<SecretKeyFile> ReadSecretKeyFile(const Bytes& bytes) {
  if (bytes.size() != 164) return std::nullopt;
  Reader in(bytes);
  SecretKeyFile s;
  s.algorithm = in.Int();
  s.signatureKey = in.Take(32);
  s.exchangeKey = in.Take(128);
  if (s.algorithm != kGost94 && s.algorithm != kGost2001) return std::nullopt;
  return s;
}

std::optional<SignatureBlock> ReadSignatureBlock(const uint8_t* bytes, size_t size) {
  Reader in(bytes, size);
  SignatureBlock b;
  b.uid = in.Uid();
  b.value = in.Take(64);
  if (!in.ok() || in.left() != 0) return std::nullopt;
  return b;
}

Bytes WriteSignatureBlock(const std::string& uid, const Bytes& value) {
  Bytes out;
  PutUid(out, uid);
  Append(out, value);
  return out;
}

std::optional<SignedData> ReadSignedData(const Bytes& bytes) {
  if (bytes.size() < 4) return std::nullopt;
  Reader trailer(bytes.data() + bytes.size() - 4, 4);
  const int32_t n = trailer.Int();
  if (n <= 0 || static_cast<size_t>(n) + 4 > bytes.size()) return std::nullopt;
  const auto block = ReadSignatureBlock(bytes.data() + n, bytes.size() - 4 - static_cast<size_t>(n));
  if (!block) return std::nullopt;
  return SignedData{Bytes(bytes.begin(), bytes.begin() + n), *block};
}

Bytes WriteSignedData(const Bytes& data, const Bytes& signatureBlock) {
  Bytes out = data;
  Append(out, signatureBlock);
  PutInt(out, static_cast<int32_t>(data.size()));
  return out;
}

std::optional<TransferRecord> ReadTransferRecord(const Bytes& bytes) {
  if (bytes.size() != kTransferRecordSize) return std::nullopt;
  Reader in(bytes);
  const Bytes name = in.Take(kTransferNameField);
  const void* zero = std::memchr(name.data(), 0, name.size());
  const int32_t length = in.Int();
  if (zero == nullptr || length <= 0 || static_cast<size_t>(length) > kTransferRecordField) return std::nullopt;
  TransferRecord t;
  t.fileName.assign(reinterpret_cast<const char*>(name.data()));
  t.record = in.Take(static_cast<size_t>(length));
  return t;
}

Bytes WriteTransferRecord(const std::string& fileName, const Bytes& record) {
  Bytes out(kTransferNameField, 0);
  std::memcpy(out.data(), fileName.data(), fileName.size());
  PutInt(out, static_cast<int32_t>(record.size()));
  Append(out, record);
  out.resize(kTransferRecordSize, 0);
  return out;
}

std::optional<Bytes> DecodeBase64(const std::string& text) {
  static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.size() % 4 != 0) return std::nullopt;
  // Padding: "==" or "=" at the end of the last group only.
  const size_t pad = text.ends_with("==") ? 2 : text.ends_with("=") ? 1 : 0;
  Bytes out;
  for (size_t i = 0; i < text.size(); i += 4) {
    uint32_t n = 0;
    for (size_t j = 0; j < 4; ++j) {
      const bool padding = i + j >= text.size() - pad;
      const size_t v = padding ? 0 : kAlphabet.find(text[i + j]);
      if (v == std::string::npos) return std::nullopt;
      n = n << 6 | static_cast<uint32_t>(v);
    }
    const size_t dropped = i + 4 == text.size() ? pad : 0;
    out.push_back(static_cast<uint8_t>(n >> 16));
    if (dropped < 2) out.push_back(static_cast<uint8_t>(n >> 8));
    if (dropped < 1) out.push_back(static_cast<uint8_t>(n));
  }
  return out;
}

std::optional<EncryptedBlock> ReadEncryptedBlock(const Bytes& bytes) {
  Reader in(bytes);
  EncryptedBlock b;
  const int32_t count = in.Int();
  b.method = in.Int();
  b.sender = in.Uid();
  if (!in.ok() || count < 1) return std::nullopt;
  for (int32_t i = 0; i < count && in.ok(); ++i) {
    EncryptedBlock::Entry e;
    e.uid = in.Uid();
    e.iv = in.Take(8);
    e.mac = in.Take(8);
    e.key = in.Take(32);
    b.entries.push_back(e);
  }
  b.iv = in.Take(8);
  b.mac = in.Take(8);
  b.ciphertext = in.Take(in.left());
  if (!in.ok()) return std::nullopt;
  return b;
}

Bytes WriteEncryptedBlock(const EncryptedBlock& block) {
  Bytes out;
  PutInt(out, static_cast<int32_t>(block.entries.size()));
  PutInt(out, block.method);
  PutUid(out, block.sender);
  for (const EncryptedBlock::Entry& e : block.entries) {
    PutUid(out, e.uid);
    Append(out, e.iv);
    Append(out, e.mac);
    Append(out, e.key);
  }
  Append(out, block.iv);
  Append(out, block.mac);
  Append(out, block.ciphertext);
  return out;
}

}  // namespace oracle
