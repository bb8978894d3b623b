// POSIX environment variables.
#include "platform/env.h"

#include <cstdlib>

namespace dizora::platform {

std::string GetEnvVar(const std::string& name) {
  if (name.empty()) return {};
  const char* value = std::getenv(name.c_str());
  return value == nullptr ? std::string() : std::string(value);
}

bool SetEnvVar(const std::string& name, const std::string& value) {
  if (name.empty() || name.find('=') != std::string::npos) return false;
  return setenv(name.c_str(), value.c_str(), 1) == 0;
}

}  // namespace dizora::platform
