// Peak memory of the dizora tool over the size of its input: the tool reads a
// file once into a buffer of the file's size (standard input in pieces, then
// into one buffer), so the peak should stay near one input size.
//
// Each row runs the tool once as a child process and reports its peak
// resident set (wait4) next to the input size. "read" rows sign on a medium
// without keys, which the engine refuses right after the tool has read the
// data: the figure is the reading alone. "hash" rows run the whole command.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kMiB = 1024.0 * 1024.0;

// Sparse input files of each size, in a directory removed at the end.
class Inputs {
 public:
  Inputs() : dir_(fs::temp_directory_path() / ("dz_bench_tool_" + std::to_string(getpid()))) {
    fs::create_directories(dir_ / "empty-medium");
  }
  ~Inputs() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path File(int64_t size) {
    const fs::path path = dir_ / ("input-" + std::to_string(size));
    if (!fs::exists(path)) {
      close(open(path.c_str(), O_CREAT | O_WRONLY, 0600));
      fs::resize_file(path, static_cast<uintmax_t>(size));
    }
    return path;
  }
  fs::path Medium() const { return dir_ / "empty-medium"; }
  fs::path Output() const { return dir_ / "out.sig"; }

 private:
  fs::path dir_;
};

Inputs& TheInputs() {
  static Inputs inputs;
  return inputs;
}

// Runs the tool with `stdin_file` as standard input; returns its peak RSS in bytes.
double PeakOf(const std::vector<std::string>& args, const fs::path& stdin_file) {
  const std::string tool = std::string(DZ_BIN_DIR) + "/dizora";
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(stdin_file.c_str(), O_RDONLY);
    const int null = open("/dev/null", O_WRONLY);
    dup2(in, 0);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> argv{const_cast<char*>(tool.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

void Report(benchmark::State& state, double peak) {
  const auto size = static_cast<double>(state.range(0));
  state.counters["input_MiB"] = size / kMiB;
  state.counters["peak_MiB"] = peak / kMiB;
  state.counters["peak_per_input"] = peak / size;
}

// The file named on the command line.
void BM_ReadFile(benchmark::State& state) {
  Inputs& in = TheInputs();
  const fs::path file = in.File(state.range(0));
  double peak = 0;
  for (auto _ : state)
    peak = PeakOf({"--medium", in.Medium().string(), "sign", file.string(), "-o", in.Output().string()}, "/dev/null");
  Report(state, peak);
}

// The same data on standard input (a pipe would be read the same way).
void BM_ReadStandardInput(benchmark::State& state) {
  Inputs& in = TheInputs();
  const fs::path file = in.File(state.range(0));
  double peak = 0;
  for (auto _ : state) peak = PeakOf({"--medium", in.Medium().string(), "sign", "-", "-o", in.Output().string()}, file);
  Report(state, peak);
}

void BM_Hash(benchmark::State& state) {
  const fs::path file = TheInputs().File(state.range(0));
  double peak = 0;
  for (auto _ : state) peak = PeakOf({"hash", file.string()}, "/dev/null");
  Report(state, peak);
}

BENCHMARK(BM_ReadFile)->RangeMultiplier(4)->Range(16 << 20, 1 << 30)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadStandardInput)->RangeMultiplier(4)->Range(16 << 20, 1 << 30)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hash)->Arg(64 << 20)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
