// Starts a program as a child process: arguments in UTF-8, standard input fed,
// standard output and error captured (spawn_posix.cpp, spawn_win32.cpp).
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tool_test {

struct Result {
  int rc = -1;
  std::string out;
  std::string err;
};

inline std::ostream& operator<<(std::ostream& os, const Result& r) {
  return os << "rc=" << r.rc << "\nstdout:\n" << r.out << "\nstderr:\n" << r.err;
}

using Environment = std::vector<std::pair<std::string, std::string>>;

// Runs `program` with `args` in `cwd`; `env` adds to the environment (POSIX).
Result Spawn(const std::filesystem::path& program, const std::vector<std::string>& args,
             const std::filesystem::path& cwd, const std::string& input = "", const Environment& env = {});

// The directory of the running test program (the tool is built beside it).
std::filesystem::path SelfDirectory();

}  // namespace tool_test
