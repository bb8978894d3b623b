// Key files as the engine loads them. The first input byte picks the use of
// the rest:
//   0  a public-key file handed to IncludePublicKey;
//   1  the user's public-key file (read for the UID and when signing);
//   2  the user's secret-key file (loaded for signing);
//   3  a file handed to GetPublicKeyPropertiesByFile;
//   4  a correspondent's file in the directory, reported with GetReport and
//      used for encryption by the UID it carries.
#include <cstring>
#include <filesystem>
#include <memory>

#include "media.h"

using namespace dzfuzz;
namespace fs = std::filesystem;

static DizoraEngine g_probe = nullptr;  // engine of the probe medium (modes 1, 2)

static Bytes WithMode(uint8_t mode, const Bytes& bytes) {
  Bytes out{mode};
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

static void Seeds(const std::string& dir) {
  Media& m = TheMedia();
  const Bytes userPub = ReadFile(m.Path("user/self.pub"));
  const Bytes peerPub = ReadFile(m.Path("peer/self.pub"));
  for (uint8_t mode : {0, 1, 3, 4}) {
    WriteSeed(dir, "user_pub_" + std::to_string(mode), WithMode(mode, userPub));
    WriteSeed(dir, "peer_pub_" + std::to_string(mode), WithMode(mode, peerPub));
  }
  WriteSeed(dir, "user_sec", WithMode(2, ReadFile(m.Path("user/self.sec"))));
  WriteSeed(dir, "peer_sec", WithMode(2, ReadFile(m.Path("peer/self.sec"))));
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MaybeWriteSeeds(Seeds);
  Media& m = TheMedia();
  fs::copy(m.Path("user"), m.Path("probe"), fs::copy_options::recursive);
  g_probe = GetCryptObj(0);
  Configure(g_probe, m.Path("probe"));
  return 0;
}

static void ResetAbonents(Media& m) {
  for (const auto& e : fs::directory_iterator(m.Path("user/ABONENTS"))) fs::remove_all(e.path());
  fs::copy_file(m.Path("peer/self.pub"), m.Path("user/ABONENTS/peer.pub"));
  ClearCash(m.user);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  Media& m = TheMedia();
  const uint8_t mode = input[0] % 5;
  const uint8_t* body = input + 1;
  const size_t length = size - 1;
  const Bytes data(100, 0x33);
  auto signature = std::make_unique<uint8_t[]>(static_cast<size_t>(GetMaxSignatureLength(m.user)));
  int32_t signatureSize = GetMaxSignatureLength(m.user);
  auto uid = std::make_unique<char[]>(255);
  switch (mode) {
    case 0: {
      const std::string file = m.Path("out/in.pub");
      WriteFile(file, body, length);
      IncludePublicKey(m.user, file.c_str());
      fs::remove(file);
      ResetAbonents(m);
      break;
    }
    case 1:
    case 2: {
      const Bytes keep = ReadFile(m.Path(mode == 1 ? "user/self.pub" : "user/self.sec"));
      WriteFile(m.Path(mode == 1 ? "probe/self.pub" : "probe/self.sec"), body, length);
      GetCurrentUserUID(g_probe, uid.get());
      SignData(g_probe, data.data(), 100, signature.get(), &signatureSize, 0);
      ClearCash(g_probe);
      WriteFile(m.Path(mode == 1 ? "probe/self.pub" : "probe/self.sec"), keep.data(), keep.size());
      break;
    }
    case 3: {
      const std::string file = m.Path("out/props.pub");
      WriteFile(file, body, length);
      auto report = std::make_unique<char[]>(static_cast<size_t>(GetMaxPublicKeyPropertiesLength(m.user)) + 1);
      GetPublicKeyPropertiesByFile(m.user, file.c_str(), report.get());
      fs::remove(file);
      break;
    }
    default: {
      WriteFile(m.Path("user/ABONENTS/fuzz.pub"), body, length);
      ClearCash(m.user);
      const size_t uidLength = strnlen(reinterpret_cast<const char*>(body), std::min<size_t>(length, 254));
      const std::string target(reinterpret_cast<const char*>(body), uidLength);
      auto report = std::make_unique<char[]>(static_cast<size_t>(GetMaxReportSize(m.user)) + 1);
      GetReport(m.user, target.c_str(), report.get());
      if (target.find(';') == std::string::npos) {
        Bytes buffer(data);
        buffer.resize(data.size() + static_cast<size_t>(GetMaxAdditionEx(m.user, target.c_str())) + 16);
        int32_t n = 100;
        if (EncodeData(m.user, buffer.data(), &n, target.c_str()) == 0) DecodeData(m.user, buffer.data(), &n, 0);
      }
      ResetAbonents(m);
      break;
    }
  }
  return 0;
}
