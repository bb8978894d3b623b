// help, settings, error, whoami.
#include <cerrno>
#include <cstdlib>

#include "diagnose.h"
#include "errors.h"
#include "handlers.h"
#include "keys.h"
#include "print.h"
#include "text.h"

namespace dztool {

namespace {

const char* KindName(int32_t kind) {
  switch (kind) {
    case kKindFile: return "file";
    case kKindDirectory: return "directory";
    case kKindInteger: return "integer";
    case kKindChoice: return "choice";
    default: return "text";
  }
}

// Choices come one per line; shown on one line, separated by " | ".
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    out += c == '\n' ? std::string(" | ") : std::string(1, c);
  }
  return out;
}

std::string ShownValue(int32_t kind, const std::string& value) {
  return kind == kKindFile || kind == kKindDirectory ? PathText(PathFromEngine(value)) : ToUtf8(value);
}

}  // namespace

int RunHelp(const Invocation& call) {
  const std::string topic = call.operands.size() == 2 ? call.Operand(0) + " " + call.Operand(1) : call.Operand(0);
  if (topic.empty()) {
    Write(OverviewHelp());
  } else if (IsGroup(topic)) {
    Write(GroupHelp(topic));
  } else if (const Command* command = FindCommand(topic)) {
    Write(CommandHelp(*command));
  } else {
    throw UsageError("no command named " + Quoted(topic));
  }
  return kExitOk;
}

int RunSettings(const Invocation& call) {
  Session s(call.global);
  std::vector<JsonObject> settings;
  for (int32_t i = 1; i <= s.engine.SettingCount(); ++i) {
    std::string info;
    const int32_t kind = s.engine.SettingKind(i, &info);
    const std::string name = ToUtf8(s.engine.SettingName(i));
    const std::string value = ShownValue(kind, s.engine.SettingValue(i));
    const std::string allowed = OneLine(ToUtf8(info));
    settings.push_back(JsonObject()
                           .Num("index", i)
                           .Str("name", name)
                           .Str("value", value)
                           .Num("kind", kind)
                           .Str("kind_name", KindName(kind))
                           .Str("allowed", allowed));
    if (call.Json()) continue;
    char head[64];
    std::snprintf(head, sizeof head, "%2d  %-28s = ", i, name.c_str());
    Print(head + Quoted(value) + "  (kind " + std::to_string(kind) + " " + KindName(kind) + ": " +
          Printable(allowed) + ")");
  }
  if (call.Json()) PrintJson(JsonObject().Arr("settings", settings));
  return kExitOk;
}

int RunError(const Invocation& call) {
  const std::string text = call.Operand(0);
  char* end = nullptr;
  errno = 0;
  const long code = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || errno != 0 || code < INT32_MIN || code > INT32_MAX)
    throw UsageError("not a result code: " + Quoted(text));
  Session s(call.global);
  const std::string message = s.engine.Message(static_cast<int32_t>(code));
  if (message.empty()) throw UsageError(std::to_string(code) + ": no such result code");
  Print(std::to_string(code) + ": " + message);
  return kExitOk;
}

int RunWhoami(const Invocation& call) {
  Session s(call.global);
  std::vector<char> uid(static_cast<size_t>(GetMaxUIDLength(s.engine.get())) + 1, 0);
  const int32_t r = GetCurrentUserUID(s.engine.get(), uid.data());
  if (r != DZ_OK) {
    const std::string what = "no UID on the medium";
    EngineFailure(s, r == DZ_E_PUBLIC_KEY ? what + "; " + WhyNoPublicKey(s, {}) : what, r);
  }
  const std::string name = ToUtf8(uid.data());
  if (!call.Json()) {
    Print(Printable(name));
    return kExitOk;
  }
  const KeyFile own = ReadKeyFile(s.medium.public_key);
  JsonObject fields;
  fields.Str("uid", name).Str("public_key", PathText(s.medium.public_key));
  if (own.problem.empty())
    fields.Str("algorithm", AlgorithmName(own.record.algorithm)).Str("fingerprint", Fingerprint(s.engine, own.record));
  PrintJson(fields);
  return kExitOk;
}

}  // namespace dztool
