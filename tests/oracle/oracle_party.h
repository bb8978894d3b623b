// A user of the engine for the oracle tests: an engine handle on a key medium
// of its own, and the medium's key files as the oracle reads them.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "api/engine_test_util.h"
#include "oracle_formats.h"

namespace oracle {

struct Party {
  dz_api_test::Engine engine;
  dz_api_test::Medium medium;
  PublicKeyRecord pub;
  SecretKeyFile sec;

  // Generates the key pair ("1994" or "2001") through the engine and reads
  // both key files back; the engine hashes with the full GOST hash.
  void Make(const std::string& uid, const std::string& gost) {
    ASSERT_NO_FATAL_FAILURE(dz_api_test::MakeMedium(engine, medium, uid, gost));
    engine.Set(dz_api_test::kHashMethod, "GOST");
    const auto record = ReadPublicKeyRecord(dz_api_test::ReadFileBytes(medium.pub));
    const auto secret = ReadSecretKeyFile(dz_api_test::ReadFileBytes(medium.sec));
    ASSERT_TRUE(record) << "unreadable public-key file of " << uid;
    ASSERT_TRUE(secret) << "unreadable secret-key file of " << uid;
    pub = *record;
    sec = *secret;
  }

  // Makes `other`'s public key known to this party.
  void Know(const Party& other) {
    dz_api_test::TempDir drop;
    ASSERT_NO_FATAL_FAILURE(dz_api_test::GivePublicKey(other.medium, engine, drop));
  }
};

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The signature scheme of a key's algorithm: GOST R 34.10-2001 or -94.
inline bool SignatureVerifies(const PublicKeyRecord& key, const Bytes& digest, const uint8_t* value) {
  return key.algorithm == kGost2001 ? Verify2001(key.signatureKey.data(), digest, value)
                                    : Verify94(key.signatureKey.data(), digest, value);
}

inline Bytes SignatureOf(const SecretKeyFile& key, const Bytes& digest) {
  return key.algorithm == kGost2001 ? Sign2001(key.signatureKey.data(), digest)
                                    : Sign94(key.signatureKey.data(), digest);
}

}  // namespace oracle
