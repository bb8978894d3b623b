// Checks shared by the parser targets: a parse that succeeds hands out views
// that lie inside the input, and the parts written back in their order give
// the input again where the layout leaves no choice.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>

#include "media.h"
#include "support/byte_reader.h"

namespace dzfuzz {

using dizora::support::ByteSpan;

inline void Require(bool holds, const char* what) {
  if (!holds) Fail(what);
}

// Whether `part` lies inside `input` (an empty part anywhere up to its end).
inline bool Inside(const void* part, size_t size, ByteSpan input) {
  const std::less_equal<const void*> le;
  const auto* begin = static_cast<const uint8_t*>(part);
  return le(input.data(), begin) && size <= input.size() &&
         le(begin, input.data() + (input.size() - size));
}
inline bool Inside(ByteSpan part, ByteSpan input) { return Inside(part.data(), part.size(), input); }
inline bool Inside(std::string_view part, ByteSpan input) { return Inside(part.data(), part.size(), input); }

// The 32-bit little-endian integer at `p`, read here rather than by the
// reader under test.
inline int32_t Int32At(const uint8_t* p) {
  return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}

// The layouts' pieces, appended.
inline void Put(Bytes& out, ByteSpan part) { out.insert(out.end(), part.begin(), part.end()); }
inline void PutText(Bytes& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}
inline void PutInt32(Bytes& out, int32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> shift));
}

inline bool Same(const Bytes& written, ByteSpan input) {
  return written.size() == input.size() && std::equal(written.begin(), written.end(), input.begin());
}

}  // namespace dzfuzz
