// Key media and correspondents' directories for the engine benchmarks, made
// once per run under the temporary directory through the engine's own
// exports and removed at exit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dizora.h"
#include "raw_primitives.h"

namespace dz_bench {

// Indexes of the engine's settings.
enum : int32_t {
  kSetPublicKey = 1,
  kSetSecretKey = 2,
  kSetAbonentsDir = 3,
  kSetCADir = 4,
  kSetEncryptMethod = 5,
  kSetKeyRequestTimeOut = 7,
  kSetLastOpTimeOut = 8,
  kSetKeyGenGost = 9,
  kSetKeyGenUID = 10,
  kSetKeyGenPublic = 11,
  kSetKeyGenSecret = 12,
  kSetHashMethod = 13,
};

// An engine handle released on scope exit.
class Engine {
 public:
  Engine() : h_(GetCryptObj(0)) {}
  ~Engine() { DoneEngine(h_); }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  operator DizoraEngine() const { return h_; }
  void Set(int32_t index, const std::string& value) const;

 private:
  DizoraEngine h_;
};

// A user's key files; `abonents` is the correspondents' directory.
struct Medium {
  std::string uid;
  std::string pub;
  std::string sec;
  std::string abonents;
  std::string ca;
  void Configure(const Engine& e) const;  // paths and long time-outs
};

// A signature block made by hand: `uid`, a zero, a 64-byte value.
Bytes SignatureBlock(const std::string& uid, const uint8_t* value);

class World {
 public:
  static World& Get();  // built on first use
  ~World();

  std::string root;
  Medium client94, client01;          // a client of each algorithm
  std::vector<Medium> recipients;     // 10 correspondents of client01
  Medium bank;                        // the bank's own key pair (2001)
  std::vector<Medium> senders;        // clients that sign and encrypt for the bank
  // The bank's key pair with a correspondents' directory of 1, 1,000 and
  // 20,000 public-key files (the senders' own files among them).
  Medium bank1, bank1k, bank20k;
  // Of the 20,000 files: their UIDs and, per UID, the index of the sender
  // whose key the file holds.
  std::vector<std::string> directoryUIDs;
  std::vector<size_t> directoryKey;
  // Per sender: the 64-byte signature value over SignedData() and an
  // encrypted 1 KiB block addressed to the bank.
  std::vector<Bytes> senderSignatures;
  std::vector<Bytes> senderMessages;
  static const Bytes& SignedData();   // 64 bytes
  static const Bytes& MessageData();  // 1 KiB

 private:
  World();
  Medium MakeMedium(const std::string& name, const std::string& gost);
  void MakeDirectory(const Medium& m, size_t count);
};

}  // namespace dz_bench
