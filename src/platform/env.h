// Process environment variables (8-bit names and values).
#pragma once

#include <string>

namespace dizora::platform {

// Value of the variable `name`; an absent variable reads as "".
std::string GetEnvVar(const std::string& name);

// Sets `name` to `value` for this process; false when the system refuses.
bool SetEnvVar(const std::string& name, const std::string& value);

}  // namespace dizora::platform
