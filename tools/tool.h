// Shared pieces of the dizora tool: errors, the engine handle, options and files.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "dizora.h"

namespace dztool {

// Exit statuses: 0 success, 1 the engine (or a file) failed, 2 bad usage.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Wrong command line: the caller prints the message and exits with 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A file that could not be read or written; the message names it and says why.
struct FileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The engine answered a failure: the operation, its code and the message (UTF-8).
struct EngineError : std::runtime_error {
  EngineError(const std::string& operation, int32_t result, const std::string& message)
      : std::runtime_error(operation + " failed: " + std::to_string(result) + ": " + message),
        code(result) {}
  int32_t code;
};

std::string ToUtf8(const std::string& cp1251);
std::string ToCp1251(const std::string& utf8);
// An engine report or message for the terminal: UTF-8, LF line ends.
std::string ToTerminal(const std::string& cp1251);

// One engine object, released on destruction.
class Engine {
 public:
  Engine();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  DizoraEngine get() const { return handle_; }
  int32_t SettingCount() const;
  // 1-based index of the setting with this exact name, 0 when there is none.
  int32_t FindSetting(const std::string& name) const;
  std::string SettingName(int32_t index) const;
  std::string SettingValue(int32_t index) const;
  void SetSetting(int32_t index, const std::string& value);
  // The message of a result code, in UTF-8.
  std::string Message(int32_t code) const;
  // Throws EngineError unless `code` is 0.
  void Check(const std::string& operation, int32_t code) const;

 private:
  DizoraEngine handle_;
};

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

// Options before the command.
struct GlobalOptions {
  std::string medium;
  std::string regen_dir;
  std::vector<std::pair<std::string, std::string>> sets;  // NAME, VALUE as typed (UTF-8)
};

// Applies the global options to an engine: root, settings, regeneration
// directory; "Hash method" becomes "GOST" unless the user set it.
void Configure(Engine& engine, const GlobalOptions& options);
// The regeneration directory the options name (default: REGEN under the medium).
std::string RegenDir(const GlobalOptions& options);

// A command's own arguments: positionals, options with a value, flags.
struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;

  bool Has(const std::string& name) const { return values.count(name) || flags.count(name); }
  std::string Value(const std::string& name, const std::string& fallback = "") const;
};

// Splits `args` (after the command words); `with_value` lists the options that
// take a value, `flags` those that do not. Anything else starting with "-"
// (but "-" itself) is a usage error, as is a positional count outside
// [min_positional, max_positional].
Args ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& with_value,
               const std::set<std::string>& flags, size_t min_positional, size_t max_positional);

using Bytes = std::vector<uint8_t>;

// Zero-fills its bytes before release (for decrypted data).
class SecretBytes {
 public:
  explicit SecretBytes(size_t size) : bytes_(size) {}
  ~SecretBytes();
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  Bytes& bytes() { return bytes_; }

 private:
  Bytes bytes_;
};

Bytes ReadFileBytes(const std::string& path);
// Writes to a temporary file in the same directory and renames it over
// `path`, so `path` holds either its old content or all of the new one.
void WriteFileAtomic(const std::string& path, const void* data, size_t size);
// A transfer argument: "-" reads standard input, the name of an existing file
// reads that file, anything else is the transfer text itself; blanks trimmed.
std::string ReadTransferArg(const std::string& arg);
// A data size for the engine: fails when the file plus `extra` bytes exceed int32_t.
int32_t EngineSize(const std::string& path, size_t size, int32_t extra);

// Commands; each returns the exit status or throws.
int CmdSettings(const GlobalOptions& options);
int CmdError(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdWhoami(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdSign(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdVerify(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdAttach(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdDetach(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdEncrypt(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdDecrypt(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdHash(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdKeygen(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdKey(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdMedium(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdRegen(const GlobalOptions& options, const std::vector<std::string>& args);
int CmdDemo(const std::vector<std::string>& args);

}  // namespace dztool
