// Win32 environment variables: GetEnvironmentVariableA and
// SetEnvironmentVariableA (the process's own block, which LoadLibraryA's
// search reads for "Path").
#include <windows.h>

#include <vector>

#include "platform/env.h"

namespace dizora::platform {

std::string GetEnvVar(const std::string& name) {
  if (name.empty()) return {};
  std::vector<char> buffer(256);
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD n = ::GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};  // absent, or present and empty
    // On success n excludes the terminating zero; when the buffer is too
    // small n is the size needed including it. The value may grow between
    // the two calls, hence the loop.
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(n);
  }
}

bool SetEnvVar(const std::string& name, const std::string& value) {
  if (name.empty() || name.find('=') != std::string::npos) return false;
  return ::SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
}

}  // namespace dizora::platform
