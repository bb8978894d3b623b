#include "bench_world.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace dz_bench {

namespace fs = std::filesystem;

namespace {

constexpr size_t kSenders = 16;
constexpr size_t kRecipients = 10;

void Check(int32_t result, const std::string& what) {
  if (result != 0) throw std::runtime_error(what + " failed with " + std::to_string(result));
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// The record of `pub` under another UID: the same algorithm and keys.
Bytes Rename(const Bytes& pub, const std::string& uid) {
  size_t zero = 0;
  while (pub.at(zero) != 0) ++zero;
  Bytes record(uid.begin(), uid.end());
  record.insert(record.end(), pub.begin() + static_cast<std::ptrdiff_t>(zero), pub.end());
  return record;
}

std::string Numbered(const char* prefix, size_t i) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%05zu", prefix, i);
  return text;
}

}  // namespace

void Engine::Set(int32_t index, const std::string& value) const {
  Check(SetCryptoParamValue(h_, index, value.c_str()), "SetCryptoParamValue");
}

void Medium::Configure(const Engine& e) const {
  e.Set(kSetPublicKey, pub);
  e.Set(kSetSecretKey, sec);
  e.Set(kSetAbonentsDir, abonents);
  e.Set(kSetCADir, ca);
  e.Set(kSetKeyRequestTimeOut, "86400");
  e.Set(kSetLastOpTimeOut, "86400");
}

Bytes SignatureBlock(const std::string& uid, const uint8_t* value) {
  Bytes block(uid.begin(), uid.end());
  block.push_back(0);
  block.insert(block.end(), value, value + 64);
  return block;
}

const Bytes& World::SignedData() {
  static const Bytes data = PatternBytes(64, 3);
  return data;
}

const Bytes& World::MessageData() {
  static const Bytes data = PatternBytes(1024, 5);
  return data;
}

World& World::Get() {
  static World world;
  return world;
}

World::~World() {
  std::error_code ec;
  fs::remove_all(root, ec);
}

Medium World::MakeMedium(const std::string& name, const std::string& gost) {
  Medium m;
  const fs::path dir = fs::path(root) / name;
  m.uid = name;
  m.pub = (dir / "self.pub").string();
  m.sec = (dir / "self.sec").string();
  m.abonents = (dir / "ABONENTS").string();
  m.ca = (dir / "CA").string();
  fs::create_directories(m.abonents);
  fs::create_directories(m.ca);
  Engine e;
  m.Configure(e);
  e.Set(kSetKeyGenGost, gost);
  e.Set(kSetKeyGenUID, name);
  e.Set(kSetKeyGenPublic, m.pub);
  e.Set(kSetKeyGenSecret, m.sec);
  Check(GenerateNewSEK(e), "GenerateNewSEK");
  return m;
}

// Fills the medium's directory with `count` public-key files: the senders'
// own files first, then files of made-up correspondents holding the senders'
// keys in turn.
void World::MakeDirectory(const Medium& m, size_t count) {
  fs::create_directories(m.abonents);
  const bool record = count == 20000;
  for (size_t i = 0; i < count; ++i) {
    const size_t sender = i % senders.size();
    const Bytes pub = ReadFile(senders[sender].pub);
    const std::string uid = i < senders.size() ? senders[i].uid : Numbered("Corr", i);
    WriteFile((fs::path(m.abonents) / (uid + ".pub")).string(), Rename(pub, uid));
    if (record) {
      directoryUIDs.push_back(uid);
      directoryKey.push_back(sender);
    }
  }
}

World::World() {
  std::random_device rd;
  root = (fs::temp_directory_path() / ("dz_bench_" + std::to_string(rd()))).string();
  fs::create_directories(root);

  client94 = MakeMedium("Client94", "1994");
  client01 = MakeMedium("Client01", "2001");
  for (size_t i = 1; i <= kRecipients; ++i) {
    recipients.push_back(MakeMedium(Numbered("Rcpt", i), "2001"));
    const Medium& r = recipients.back();
    fs::copy_file(r.pub, fs::path(client01.abonents) / (r.uid + ".pub"));
    fs::copy_file(client01.pub, fs::path(r.abonents) / (client01.uid + ".pub"));
  }

  bank = MakeMedium("Bank", "2001");
  for (size_t i = 0; i < kSenders; ++i) {
    senders.push_back(MakeMedium(Numbered("Sender", i), "2001"));
    const Medium& s = senders.back();
    fs::copy_file(bank.pub, fs::path(s.abonents) / "Bank.pub");
    Engine e;
    s.Configure(e);
    e.Set(kSetHashMethod, "GOST");
    Bytes block(512);
    int32_t blockSize = 0;
    Check(SignData(e, SignedData().data(), int32_t(SignedData().size()), block.data(), &blockSize, 0), "SignData");
    senderSignatures.emplace_back(block.begin() + blockSize - 64, block.begin() + blockSize);
    Bytes message = MessageData();
    message.resize(message.size() + size_t(GetMaxAdditionEx(e, "Bank")));
    int32_t size = int32_t(MessageData().size());
    Check(EncodeData(e, message.data(), &size, "Bank"), "EncodeData");
    message.resize(size_t(size));
    senderMessages.push_back(std::move(message));
  }

  auto bankWith = [&](const std::string& dirName, size_t count) {
    Medium m = bank;
    m.abonents = (fs::path(root) / dirName).string();
    MakeDirectory(m, count);
    return m;
  };
  bank1 = bankWith("DIR1", 1);
  bank1k = bankWith("DIR1K", 1000);
  bank20k = bankWith("DIR20K", 20000);
}

}  // namespace dz_bench
