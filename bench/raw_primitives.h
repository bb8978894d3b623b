// The primitives underneath the engine, called directly in libcrypt.dll with
// the engine's own call sequences, so that every engine figure can be read
// as a ratio to what the library itself costs for the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dz_bench {

using Bytes = std::vector<uint8_t>;

class RawPrimitives {
 public:
  static RawPrimitives& Get();  // loads the library on first use

  // GOST R 34.11-94 over `n` bytes, in pieces of at most 65535 bytes.
  void Hash(const uint8_t* data, int32_t n, uint8_t* digest) const;
  // One signature or verification with a key pair made at start-up;
  // algorithm 0 = GOST R 34.10-94, 1 = GOST R 34.10-2001.
  int32_t Sign(int algorithm, const uint8_t* digest, uint8_t* signature) const;
  int32_t Verify(int algorithm, const uint8_t* digest, const uint8_t* signature) const;
  // MAC of `in`, then counter mode (feedback false) or feedback mode
  // encryption (decrypt false) or decryption (decrypt true) into `out`.
  void CryptWithMac(const uint8_t* in, uint8_t* out, int32_t n, bool feedback, bool decrypt) const;
  // The library's random generator.
  int32_t Random(uint8_t* out, int32_t n) const;
  // The check of a loaded key pair: the signature public key (128 bytes out)
  // and the exchange public key (128 bytes out) derived from their secret keys.
  int32_t DerivePublicKeys(int algorithm, uint8_t* signaturePublic, uint8_t* exchangePublic) const;

 private:
  RawPrimitives();
  struct Keys {
    Bytes secret;
    Bytes pub;
  };
  Keys keys_[2];
  Bytes exchangeSecret_;
};

// Bytes of a fixed pattern.
Bytes PatternBytes(size_t n, uint8_t seed = 1);

}  // namespace dz_bench
