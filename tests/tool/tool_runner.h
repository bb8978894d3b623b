// Runs the built dizora tool as a user would, in a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace tool_test {

namespace fs = std::filesystem;

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Single-quoted for sh.
inline std::string Quote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct Result {
  int rc = -1;
  std::string out;
  std::string err;
};

inline std::ostream& operator<<(std::ostream& os, const Result& r) {
  return os << "rc=" << r.rc << "\nstdout:\n" << r.out << "\nstderr:\n" << r.err;
}

// A fresh directory, removed at the end of the test.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    std::random_device random;
    path_ = fs::temp_directory_path() /
            ("dz_tool_" + std::to_string(random()) + "_" + std::to_string(counter++));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

inline fs::path ToolPath() { return fs::path(DZ_BIN_DIR) / "dizora"; }

// Runs `dizora ARGS` in `cwd` with `input` on standard input.
inline Result RunIn(const fs::path& cwd, const std::vector<std::string>& args, const std::string& input = "") {
  const fs::path io = cwd / ".io";
  fs::create_directories(io);
  WriteText(io / "in", input);
  std::string command = "cd " + Quote(cwd.string()) + " && " + Quote(ToolPath().string());
  for (const auto& a : args) command += " " + Quote(a);
  command += " <" + Quote((io / "in").string()) + " >" + Quote((io / "out").string()) + " 2>" +
             Quote((io / "err").string()) + "; echo $? >" + Quote((io / "rc").string());
  Result r;
  if (std::system(command.c_str()) != 0) return r;
  r.rc = std::atoi(ReadText(io / "rc").c_str());
  r.out = ReadText(io / "out");
  r.err = ReadText(io / "err");
  fs::remove_all(io);
  return r;
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A working directory with key media made by the tool itself.
class ToolTest : public ::testing::Test {
 protected:
  Result Run(const std::vector<std::string>& args, const std::string& input = "") {
    return RunIn(dir_.path(), args, input);
  }
  // `dizora --medium NAME ARGS...`
  Result On(const std::string& medium, std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"--medium", medium});
    return Run(args, input);
  }
  fs::path Path(const std::string& name) const { return dir_.path() / name; }

  // A medium directory with a key pair for `uid`.
  void MakeMedium(const std::string& name, const std::string& uid, const std::string& alg = "2001") {
    fs::create_directories(Path(name));
    const Result r = On(name, {"keygen", "--self", "--uid", uid, "--alg", alg});
    ASSERT_EQ(r.rc, 0) << r;
  }
  // `receiver` takes `sender`'s public-key file (the in-person registration).
  void Register(const std::string& receiver, const std::string& sender) {
    fs::copy_file(Path(sender) / "self.pub", Path(sender + ".pub"), fs::copy_options::overwrite_existing);
    const Result r = On(receiver, {"key", "include", sender + ".pub"});
    ASSERT_EQ(r.rc, 0) << r;
  }
  // Alice and the bank, each knowing the other.
  void TwoParties() {
    MakeMedium("alice", "Alice");
    MakeMedium("bank", "Bank");
    Register("alice", "bank");
    Register("bank", "alice");
  }
  // Entries of a directory, sorted.
  std::vector<std::string> Entries(const std::string& name) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Path(name))) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir_;
};

}  // namespace tool_test
