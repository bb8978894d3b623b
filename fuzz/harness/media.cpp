#include "media.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace dzfuzz {

namespace fs = std::filesystem;

namespace {

void Set(DizoraEngine e, int32_t index, const std::string& value) {
  if (SetCryptoParamValue(e, index, value.c_str()) != 0) Fail("setting refused");
}

std::string MediaRoot() {
  if (const char* dir = std::getenv("DZ_FUZZ_MEDIA")) return dir;
  Dl_info info{};
  dladdr(reinterpret_cast<void*>(&MediaRoot), &info);
  return (fs::path(info.dli_fname ? info.dli_fname : ".").parent_path() / ".." / "media").lexically_normal();
}

void Generate(const std::string& dir, const char* uid, const char* gost) {
  fs::create_directories(dir + "/ABONENTS");
  fs::create_directories(dir + "/CA");
  DizoraEngine e = GetCryptObj(0);
  Configure(e, dir);
  Set(e, 9, gost);
  Set(e, 10, uid);
  Set(e, 11, dir + "/self.pub");
  Set(e, 12, dir + "/self.sec");
  if (GenerateNewSEK(e) != 0) Fail("key generation failed");
  DoneEngine(e);
}

// The persistent media: made when absent (first under a temporary name, so
// that a half-made set is never taken for a whole one).
std::string EnsureMedia() {
  const std::string root = MediaRoot();
  if (fs::exists(root + "/ready")) return root;
  const std::string building = root + ".building." + std::to_string(getpid());
  fs::remove_all(building);
  Generate(building + "/user", kUser, "2001");
  Generate(building + "/peer", kPeer, "1994");
  fs::copy_file(building + "/peer/self.pub", building + "/user/ABONENTS/peer.pub");
  fs::copy_file(building + "/user/self.pub", building + "/peer/ABONENTS/user.pub");
  WriteFile(building + "/ready", nullptr, 0);
  std::error_code ec;
  fs::rename(building, root, ec);
  if (ec) fs::remove_all(building);  // another process made it first
  if (!fs::exists(root + "/ready")) Fail("media not made");
  return root;
}

}  // namespace

void Fail(const char* what) {
  std::fprintf(stderr, "FUZZ FINDING: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

void Configure(DizoraEngine e, const std::string& dir) {
  Set(e, 1, dir + "/self.pub");
  Set(e, 2, dir + "/self.sec");
  Set(e, 3, dir + "/ABONENTS");
  Set(e, 4, dir + "/CA");
  Set(e, 7, "86400");
  Set(e, 8, "86400");
}

Media& TheMedia() {
  static Media* media = [] {
    const std::string root = EnsureMedia();
    auto* m = new Media;
    char pattern[] = "/tmp/dz_fuzz_XXXXXX";
    if (mkdtemp(pattern) == nullptr) Fail("no scratch directory");
    m->scratch = pattern;
    fs::copy(root + "/user", m->Path("user"), fs::copy_options::recursive);
    fs::copy(root + "/peer", m->Path("peer"), fs::copy_options::recursive);
    fs::create_directories(m->Path("out"));
    m->user = GetCryptObj(0);
    m->peer = GetCryptObj(0);
    Configure(m->user, m->Path("user"));
    Configure(m->peer, m->Path("peer"));
    // The scratch copy goes when the process ends normally.
    static const std::string scratch = m->scratch;
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(scratch, ec);
    });
    return m;
  }();
  return *media;
}

void MaybeWriteSeeds(void (*make)(const std::string& dir)) {
  const char* dir = std::getenv("DZ_FUZZ_SEEDS");
  if (dir == nullptr || *dir == 0) return;
  fs::create_directories(dir);
  make(dir);
  std::exit(0);
}

void WriteSeed(const std::string& dir, const std::string& name, const Bytes& bytes) {
  WriteFile(dir + "/" + name, bytes.data(), bytes.size());
}

Bytes Encrypt(DizoraEngine from, const char* recipients, const Bytes& data) {
  Bytes buffer(data);
  buffer.resize(data.size() + static_cast<size_t>(GetMaxAdditionEx(from, recipients)) + 16);
  int32_t size = static_cast<int32_t>(data.size());
  if (EncodeData(from, buffer.data(), &size, recipients) != 0) Fail("seed encryption failed");
  buffer.resize(static_cast<size_t>(size));
  return buffer;
}

Bytes Sign(DizoraEngine e, const Bytes& data) {
  Bytes signature(static_cast<size_t>(GetMaxSignatureLength(e)) + 1);
  int32_t size = static_cast<int32_t>(signature.size());
  if (SignData(e, data.data(), static_cast<int32_t>(data.size()), signature.data(), &size, 0) != 0)
    Fail("seed signature failed");
  signature.resize(static_cast<size_t>(size));
  return signature;
}

Bytes SignedBuffer(DizoraEngine e, const Bytes& data) {
  Bytes buffer(data);
  buffer.resize(data.size() + static_cast<size_t>(GetMaxSignAddition(e)));
  int32_t size = static_cast<int32_t>(data.size());
  if (AddSign(e, buffer.data(), &size, 0) != 0) Fail("seed AddSign failed");
  buffer.resize(static_cast<size_t>(size));
  return buffer;
}

std::string Transfer(DizoraEngine e, const char* uid) {
  std::vector<char> text(static_cast<size_t>(GetMaxPublicKeyTransferSize(e)) + 1, 0);
  if (GetPublicKeyTransfer(e, uid, text.data()) != 0) Fail("seed transfer failed");
  return text.data();
}

void EncryptedBlockSeeds(const std::string& dir) {
  Media& m = TheMedia();
  for (size_t n : {0u, 1u, 64u, 1000u}) {
    const Bytes data(n, static_cast<uint8_t>(n + 1));
    WriteSeed(dir, "peer_to_user_" + std::to_string(n), Encrypt(m.peer, kUser, data));
    WriteSeed(dir, "user_to_both_" + std::to_string(n), Encrypt(m.user, "Fuzz U;Fuzz P", data));
  }
}

void SignedDataSeeds(const std::string& dir) {
  Media& m = TheMedia();
  for (size_t n : {1u, 7u, 500u}) {  // the engine refuses to sign empty data (-4)
    const Bytes data(n, 0x17);
    WriteSeed(dir, "user_" + std::to_string(n), SignedBuffer(m.user, data));
    WriteSeed(dir, "peer_" + std::to_string(n), SignedBuffer(m.peer, data));
  }
}

void SignatureSeeds(const std::string& dir) {
  Media& m = TheMedia();
  for (size_t n : {1u, 300u}) {
    const Bytes data(n, 0x42);
    WriteSeed(dir, "user_" + std::to_string(n), Sign(m.user, data));
    WriteSeed(dir, "peer_" + std::to_string(n), Sign(m.peer, data));
  }
}

void PublicKeySeeds(const std::string& dir) {
  Media& m = TheMedia();
  WriteSeed(dir, "user_pub", ReadFile(m.Path("user/self.pub")));
  WriteSeed(dir, "peer_pub", ReadFile(m.Path("peer/self.pub")));
}

void SecretKeySeeds(const std::string& dir) {
  Media& m = TheMedia();
  WriteSeed(dir, "user_sec", ReadFile(m.Path("user/self.sec")));
  WriteSeed(dir, "peer_sec", ReadFile(m.Path("peer/self.sec")));
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (size != 0) out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace dzfuzz
