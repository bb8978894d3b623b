// Exit statuses and the failures that end a run.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "json.h"

namespace dztool {

// Exit statuses, as `dizora --help` and the man page list them.
enum ExitStatus : int {
  kExitOk = 0,
  kExitRefused = 1,   // a signature that does not verify, another signer, altered data
  kExitUsage = 2,     // the command line
  kExitNotFound = 3,  // a key or correspondent not found
  kExitFile = 4,      // a file that cannot be read or written
  kExitEngine = 5,    // any other engine failure
};

// What ends a run: the status and a message that names the file, UID or
// setting and the cause (UTF-8, printable). `code` is the engine's result
// when it answered; `details` are the command's fields for --json.
struct Failure : std::runtime_error {
  Failure(int exit_status, const std::string& message, std::optional<int32_t> engine_code = std::nullopt)
      : std::runtime_error(message), exit(exit_status), code(engine_code) {}
  int exit;
  std::optional<int32_t> code;
  JsonObject details;
};

struct UsageError : Failure {
  explicit UsageError(const std::string& message) : Failure(kExitUsage, message) {}
};

// The status for an engine result: verification and integrity results give 1,
// missing keys 3, files 4, the rest 5.
int ExitForCode(int32_t code);

}  // namespace dztool
