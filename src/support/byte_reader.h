// A bounds-checked cursor over bytes owned by someone else: every file and
// block format of the engine is read through it. A read either takes what
// it asks for and moves past it, or fails and leaves the cursor where it
// was; nothing is copied, allocated or thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace dizora::support {

using ByteSpan = std::span<const std::uint8_t>;

// `length` bytes at `data`; empty for null data or a length below 1.
inline ByteSpan BytesAt(const void* data, std::int64_t length) noexcept {
  if (data == nullptr || length < 1) return {};
  return {static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(length)};
}

class ByteReader {
 public:
  // No limit on the length of a text.
  static constexpr std::size_t kAnyLength = SIZE_MAX;

  constexpr ByteReader() noexcept = default;
  constexpr explicit ByteReader(ByteSpan bytes) noexcept : rest_(bytes) {}

  constexpr std::size_t Remaining() const noexcept { return rest_.size(); }
  constexpr bool Empty() const noexcept { return rest_.empty(); }
  // The bytes not read yet.
  constexpr ByteSpan Rest() const noexcept { return rest_; }

  std::optional<std::uint8_t> ReadU8() noexcept {
    const auto byte = Take(1);
    if (!byte) return std::nullopt;
    return (*byte)[0];
  }

  // A 32-bit little-endian integer.
  std::optional<std::uint32_t> ReadU32LE() noexcept {
    const auto b = Take(4);
    if (!b) return std::nullopt;
    return static_cast<std::uint32_t>((*b)[0]) | static_cast<std::uint32_t>((*b)[1]) << 8 |
           static_cast<std::uint32_t>((*b)[2]) << 16 | static_cast<std::uint32_t>((*b)[3]) << 24;
  }

  // The next `count` bytes.
  std::optional<ByteSpan> ReadBytes(std::size_t count) noexcept { return Take(count); }

  // A text of at most `maxLength` bytes and the zero byte that ends it: the
  // text is returned without its zero, both are read. Fails when no zero
  // byte lies among the next maxLength + 1 bytes.
  std::optional<std::string_view> ReadText(std::size_t maxLength) noexcept {
    const std::size_t scan = maxLength < rest_.size() ? maxLength + 1 : rest_.size();
    const void* zero = scan == 0 ? nullptr : std::memchr(rest_.data(), 0, scan);
    if (zero == nullptr) return std::nullopt;
    const auto length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - rest_.data());
    const std::string_view text(reinterpret_cast<const char*>(rest_.data()), length);
    rest_ = rest_.subspan(length + 1);
    return text;
  }

  bool Skip(std::size_t count) noexcept { return Take(count).has_value(); }

 private:
  std::optional<ByteSpan> Take(std::size_t count) noexcept {
    if (count > rest_.size()) return std::nullopt;
    const ByteSpan taken = rest_.first(count);
    rest_ = rest_.subspan(count);
    return taken;
  }

  ByteSpan rest_;
};

}  // namespace dizora::support
