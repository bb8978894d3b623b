// Key media for the transfer and regeneration tests: each medium is a
// temporary directory with its own key pair and an engine whose settings point
// at it. Everything goes through the exported functions.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "dizora.h"

namespace transfer_test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

inline constexpr int32_t kMaxTransfer = 2198;
inline constexpr int32_t kMaxReport = 2048;

// A fresh, empty directory under the system's temporary directory.
inline fs::path MakeTempDir(const std::string& tag) {
  static std::atomic<int> counter{0};
  std::random_device random;
  const fs::path dir = fs::temp_directory_path() /
                       ("dz_" + tag + "_" + std::to_string(random()) + "_" +
                        std::to_string(counter++));
  fs::create_directories(dir);
  return dir;
}

inline Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Standard base64 with "=" padding, for transfers the tests assemble themselves.
inline std::string Base64(const Bytes& data) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < data.size(); i += 3) {
    const uint32_t n = (uint32_t{data[i]} << 16) |
                       (i + 1 < data.size() ? uint32_t{data[i + 1]} << 8 : 0) |
                       (i + 2 < data.size() ? uint32_t{data[i + 2]} : 0);
    text += kAlphabet[(n >> 18) & 63];
    text += kAlphabet[(n >> 12) & 63];
    text += i + 1 < data.size() ? kAlphabet[(n >> 6) & 63] : '=';
    text += i + 2 < data.size() ? kAlphabet[n & 63] : '=';
  }
  return text;
}

// One key medium: self.pub, self.sec, ABONENTS and CA in a temporary
// directory, and an engine configured for it.
class Medium {
 public:
  explicit Medium(const std::string& uid, const char* algorithm = "2001")
      : dir_(MakeTempDir("medium")), uid_(uid) {
    engine_ = GetCryptObj(0);
    Set(1, PublicKey().string());
    Set(2, SecretKey().string());
    Set(3, Abonents().string());
    Set(4, (dir_ / "CA").string());
    Set(9, algorithm);
    Set(10, uid);
    Set(11, PublicKey().string());
    Set(12, SecretKey().string());
    fs::create_directories(Abonents());
    fs::create_directories(dir_ / "CA");
    generated_ = GenerateNewSEK(engine_);
  }
  ~Medium() {
    DoneEngine(engine_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  Medium(const Medium&) = delete;
  Medium& operator=(const Medium&) = delete;

  DizoraEngine engine() const { return engine_; }
  const std::string& uid() const { return uid_; }
  int32_t generated() const { return generated_; }
  const fs::path& dir() const { return dir_; }
  fs::path PublicKey() const { return dir_ / "self.pub"; }
  fs::path SecretKey() const { return dir_ / "self.sec"; }
  fs::path Abonents() const { return dir_ / "ABONENTS"; }

  void Set(int32_t index, const std::string& value) {
    ASSERT_EQ(SetCryptoParamValue(engine_, index, value.c_str()), 0);
  }

  // Makes `other`'s public key known to this medium, as a correspondent's key.
  void Know(const Medium& other) {
    const fs::path copy = dir_ / ("incoming_" + other.uid() + ".pub");
    fs::copy_file(other.PublicKey(), copy, fs::copy_options::overwrite_existing);
    ASSERT_EQ(IncludePublicKey(engine_, copy.string().c_str()), 0);
  }

  // The transfer of `uid`'s key as this medium makes it; "" on failure.
  std::string Transfer(const std::string& uid) {
    std::vector<char> text(kMaxTransfer + 1, '\x7f');
    const int32_t r = GetPublicKeyTransfer(engine_, uid.c_str(), text.data());
    EXPECT_EQ(r, 0) << "transfer of " << uid;
    return r == 0 ? std::string(text.data()) : std::string();
  }

  // A transfer of `record` under `name`, signed by this medium's key.
  std::string CraftTransfer(const Bytes& record, const std::string& name,
                            std::optional<int32_t> recordLength = std::nullopt) {
    Bytes data(776 + 323, 0);
    std::copy(name.begin(), name.end(), data.begin());
    const auto b =
        static_cast<uint32_t>(recordLength.value_or(static_cast<int32_t>(record.size())));
    for (int i = 0; i < 4; ++i) data[256 + i] = static_cast<uint8_t>(b >> (8 * i));
    std::copy(record.begin(), record.begin() + std::min<size_t>(record.size(), 516),
              data.begin() + 260);
    int32_t size = 776;
    EXPECT_EQ(AddSign(engine_, data.data(), &size, 0), 0);
    data.resize(static_cast<size_t>(size));
    return Base64(data);
  }

  std::string CurrentUID() {
    char uid[256] = {};
    EXPECT_EQ(GetCurrentUserUID(engine_, uid), 0);
    return uid;
  }

 private:
  DizoraEngine engine_ = nullptr;
  fs::path dir_;
  std::string uid_;
  int32_t generated_ = -1;
};

// The lines of a CR LF text; "\n" alone does not end a line.
inline std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
    lines.push_back(text.substr(start, at - start));
  lines.push_back(text.substr(start));
  return lines;
}

}  // namespace transfer_test
