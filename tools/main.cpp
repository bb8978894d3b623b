// dizora: the command-line host of the Dizora-V engine.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crypto_c/cp1251.h"
#include "dizora.h"

namespace {

constexpr const char* kVersion = "0.1.0";

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: dizora [--medium DIR] [--set NAME=VALUE]... COMMAND [ARGS]\n"
      "commands:\n"
      "  settings        list the engine's settings with their values, kinds and info\n"
      "  error CODE      print the message of a result code\n"
      "options: --help, --version\n",
      out);
}

struct Engine {
  DizoraEngine h = GetCryptObj(0);
  ~Engine() { DoneEngine(h); }
};

std::string Utf8(const char* cp1251) { return dizora::Cp1251ToUtf8(cp1251); }

int CmdSettings(Engine& e) {
  const int32_t n = GetCryptoParamNumber(e.h);
  for (int32_t i = 1; i <= n; ++i) {
    char name[256] = {}, value[256] = {}, info[256] = {};
    int32_t kind = 0, size = sizeof info;
    GetCryptoParamName(e.h, i, name);
    GetCryptoParamValue(e.h, i, value);
    GetParamInfo(e.h, i, &kind, info, &size);
    std::string shown_info = Utf8(info);
    for (auto& c : shown_info)
      if (c == '\r' || c == '\n') c = ' ';
    std::printf("%2d  %-28s = \"%s\"  (kind %d, %s)\n", i, Utf8(name).c_str(), Utf8(value).c_str(), kind,
                shown_info.c_str());
  }
  return 0;
}

int CmdError(Engine& e, const char* code_text) {
  char* end = nullptr;
  const long code = std::strtol(code_text, &end, 10);
  if (end == code_text || *end != '\0') {
    std::fprintf(stderr, "dizora: not a result code: %s\n", code_text);
    return 2;
  }
  char text[256] = {};
  GetCryptoErrorString(e.h, static_cast<int32_t>(code), text);
  std::printf("%ld: %s\n", code, Utf8(text).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help") {
    PrintUsage(args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--version") {
    std::printf("dizora %s\n", kVersion);
    return 0;
  }
  Engine engine;
  if (args[0] == "settings") return CmdSettings(engine);
  if (args[0] == "error" && args.size() == 2) return CmdError(engine, args[1].c_str());
  PrintUsage(stderr);
  return 2;
}
