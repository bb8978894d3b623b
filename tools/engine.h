// The engine handle, its settings, and the key medium a run works on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "commands.h"
#include "dizora.h"

namespace dztool {

// Settings by index, as the engine numbers them.
enum Setting : int32_t {
  kPublicKeyPath = 1,
  kSecretKeyPath = 2,
  kAbonentsDir = 3,
  kCaDir = 4,
  kEncryptForUid = 6,
  kKeyGenAlgorithm = 9,
  kKeyGenUid = 10,
  kKeyGenPublicPath = 11,
  kKeyGenSecretPath = 12,
  kHashMethod = 13,
};

// Kinds GetParamInfo reports.
enum SettingKind : int32_t {
  kKindInteger = 1,
  kKindTextRange = 2,
  kKindText = 4,
  kKindChoice = 7,
  kKindFile = 10,
  kKindDirectory = 11,
};

// One engine object, released on destruction.
class Engine {
 public:
  Engine();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  DizoraEngine get() const { return handle_; }
  int32_t SettingCount() const;
  // Names and values are the engine's (Windows-1251).
  std::string SettingName(int32_t index) const;
  std::string SettingValue(int32_t index) const;
  // Throws when the engine refuses the value.
  void SetSetting(int32_t index, const std::string& value);
  // The kind and the info text (allowed values) of a setting.
  int32_t SettingKind(int32_t index, std::string* info = nullptr) const;
  // The message of a result code, in UTF-8.
  std::string Message(int32_t code) const;

 private:
  DizoraEngine handle_;
};

// Where the run's keys are, as the settings name them after the global
// options: absolute paths.
struct Medium {
  std::filesystem::path root;
  std::filesystem::path public_key;
  std::filesystem::path secret_key;
  std::filesystem::path correspondents;
  std::filesystem::path ca;
  std::filesystem::path generated_public;
  std::filesystem::path generated_secret;
  std::filesystem::path regen;
  // The previous pair a regeneration keeps beside the secret key.
  std::filesystem::path old_public() const { return secret_key.parent_path() / "old.pub"; }
  std::filesystem::path old_secret() const { return secret_key.parent_path() / "old.sec"; }
};

// An engine set up for the global options: the medium's paths, the settings
// given with --set (checked), "Hash method" GOST unless set, the
// regeneration directory.
struct Session {
  explicit Session(const GlobalOptions& options);
  Engine engine;
  Medium medium;
  // Re-reads the paths after a setting changed.
  void RefreshMedium();
};

}  // namespace dztool
