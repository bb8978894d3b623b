// What the GOST library's suite and the generator of its reference vectors
// share: hex text and the parameters of the two fixed groups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gostvec {

using Bytes = std::vector<uint8_t>;

inline std::string to_hex(const uint8_t* p, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}
inline std::string to_hex(const Bytes& b) { return to_hex(b.data(), b.size()); }

inline Bytes from_hex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// Big-endian hex: the CryptoPro-A curve (p, its order q) and the
// GOST R 34.10-94 CryptoPro-A group (p, q, a).
inline constexpr const char* kP2001 = "fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffd97";
inline constexpr const char* kQ2001 = "ffffffffffffffffffffffffffffffff6c611070995ad10045841b09b761b893";
inline constexpr const char* kP94 =
    "b4e25efb018e3c8b87505e2a67553c5edc56c2914b7e4f89d23f03f03377e70a2903489dd60e78418d3d851edb5317c4"
    "871e40b04228c3b7902963c4b7d85d52b9aa88f2afdbeb28da8869d6df846a1d98924e925561bd69300b9ddd05d247b5"
    "922d967cbb02671881c57d10e5ef72d3e6dad4223dc82aa1f7d0294651a480df";
inline constexpr const char* kQ94 = "972432a437178b30bd96195b773789ab2fff15594b176dd175b63256ee5af2cf";
inline constexpr const char* kA94 =
    "8fd36731237654bbe41f5f1f8453e71ca414ffc22c25d915309e5d2e62a2a26c7111f3fc79568dafa028042fe1a52a04"
    "89805c0de9a1a469c844c7cabbee625c3078888c1d85eea883f1ad5bc4e6776e8e1a0750912df64f79956499f1e18247"
    "5b0b60e2632adcd8cf94e9c54fd1f3b109d81f00bf2ab8cb862adf7d40b9369a";

// Little-endian bytes of a big-endian hex value (the library's key order).
inline Bytes le_of(const std::string& be_hex) {
  const Bytes be = from_hex(be_hex);
  return Bytes(be.rbegin(), be.rend());
}

}  // namespace gostvec
