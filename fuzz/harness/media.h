// Fixed key media shared by the fuzz targets. The media are generated once
// into a persistent directory (DZ_FUZZ_MEDIA, default ../media beside the
// executables), so that seed objects made in one run stay valid for the next.
// Each fuzzing process works on its own copy in a scratch directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dizora.h"

namespace dzfuzz {

using Bytes = std::vector<uint8_t>;

// The user "Fuzz U" (GOST R 34.10-2001) and the correspondent "Fuzz P"
// (GOST R 34.10-94); each knows the other's public key.
inline constexpr const char* kUser = "Fuzz U";
inline constexpr const char* kPeer = "Fuzz P";

struct Media {
  std::string scratch;  // this process's copy: user/, peer/, out/
  DizoraEngine user = nullptr;
  DizoraEngine peer = nullptr;
  std::string Path(const std::string& relative) const { return scratch + "/" + relative; }
};

// Makes (once) and copies the media; configures the two engines.
Media& TheMedia();

// Points `engine` at the medium in `dir` (a directory with self.pub,
// self.sec, ABONENTS, CA).
void Configure(DizoraEngine engine, const std::string& dir);

// Aborts (a finding) with a message.
[[noreturn]] void Fail(const char* what);

// When DZ_FUZZ_SEEDS names a directory, `make` writes the target's seeds
// there and the process ends; otherwise nothing happens.
void MaybeWriteSeeds(void (*make)(const std::string& dir));
void WriteSeed(const std::string& dir, const std::string& name, const Bytes& bytes);

// Seed makers of targets that read the same objects: encrypted blocks (for
// the user; 1 and 2 recipients), signed data (AddSign), signature blocks
// (SignData), the media's public-key and secret-key files.
void EncryptedBlockSeeds(const std::string& dir);
void SignedDataSeeds(const std::string& dir);
void SignatureSeeds(const std::string& dir);
void PublicKeySeeds(const std::string& dir);
void SecretKeySeeds(const std::string& dir);

// Objects made with the media, for seeds.
Bytes Encrypt(DizoraEngine from, const char* recipients, const Bytes& data);
Bytes Sign(DizoraEngine engine, const Bytes& data);
Bytes SignedBuffer(DizoraEngine engine, const Bytes& data);
std::string Transfer(DizoraEngine engine, const char* uid);
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const uint8_t* data, size_t size);

}  // namespace dzfuzz
