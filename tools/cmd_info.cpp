// settings, error, whoami.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tool.h"

namespace dztool {

namespace {

const char* KindName(int32_t kind) {
  switch (kind) {
    case 10: return "file";
    case 11: return "directory";
    case 1: return "integer";
    case 7: return "choice";
    default: return "text";
  }
}

// Choices come one per line; shown on one line, separated by " | ".
std::string OneLine(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    out += text[i] == '\n' ? std::string(" | ") : std::string(1, text[i]);
  }
  return out;
}

}  // namespace

int CmdSettings(const GlobalOptions& options) {
  Engine e;
  Configure(e, options);
  for (int32_t i = 1; i <= e.SettingCount(); ++i) {
    int32_t kind = 0, size = 0;
    e.Check("GetParamInfo", GetParamInfo(e.get(), i, &kind, nullptr, &size));
    std::vector<char> info(static_cast<size_t>(size) + 1, 0);
    e.Check("GetParamInfo", GetParamInfo(e.get(), i, &kind, info.data(), &size));
    std::printf("%2d  %-28s = \"%s\"  (kind %d %s: %s)\n", i, ToUtf8(e.SettingName(i)).c_str(),
                ToUtf8(e.SettingValue(i)).c_str(), kind, KindName(kind), OneLine(ToUtf8(info.data())).c_str());
  }
  return kExitOk;
}

int CmdError(const GlobalOptions& options, const std::vector<std::string>& args) {
  const Args a = ParseArgs(args, {}, {}, 1, 1);
  const std::string& text = a.positional[0];
  char* end = nullptr;
  errno = 0;
  const long code = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || errno != 0 || code < INT32_MIN || code > INT32_MAX)
    throw UsageError("not a result code: " + text);
  Engine e;
  Configure(e, options);
  const std::string message = e.Message(static_cast<int32_t>(code));
  if (message.empty()) {
    std::fprintf(stderr, "dizora: %ld: no such result code\n", code);
    return kExitFailure;
  }
  std::printf("%ld: %s\n", code, message.c_str());
  return kExitOk;
}

int CmdWhoami(const GlobalOptions& options, const std::vector<std::string>& args) {
  ParseArgs(args, {}, {}, 0, 0);
  Engine e;
  Configure(e, options);
  std::vector<char> uid(static_cast<size_t>(GetMaxUIDLength(e.get())) + 1, 0);
  e.Check("GetCurrentUserUID", GetCurrentUserUID(e.get(), uid.data()));
  std::printf("%s\n", ToUtf8(uid.data()).c_str());
  return kExitOk;
}

}  // namespace dztool
