// The tool's portable entry: arguments after the program name, in UTF-8.
#pragma once

#include <string>
#include <vector>

namespace dztool {

int Main(const std::vector<std::string>& args);

}  // namespace dztool
