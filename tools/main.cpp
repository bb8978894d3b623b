// dizora: the command-line host of the Dizora-V engine. The operating system's
// entry point (entry_posix.cpp, entry_win32.cpp) passes the arguments in UTF-8.
#include "main.h"

#include <new>

#include "commands.h"
#include "errors.h"
#include "print.h"
#include "sys.h"
#include "text.h"

namespace dztool {

namespace {

bool TakesValue(const std::string& option) {
  return option == "--medium" || option == "--set" || option == "--regen-dir";
}

// Global options come first; returns the index of the command word.
size_t ParseGlobal(const std::vector<std::string>& args, GlobalOptions& options) {
  size_t i = 0;
  for (; i < args.size() && TakesValue(args[i]); ++i) {
    const std::string& option = args[i];
    if (i + 1 == args.size()) throw UsageError("option " + option + " needs a value");
    const std::string& value = args[++i];
    if (option == "--medium") {
      options.medium = value;
    } else if (option == "--regen-dir") {
      options.regen_dir = value;
    } else {
      const size_t eq = value.find('=');
      if (eq == std::string::npos || eq == 0) throw UsageError("--set takes \"NAME=VALUE\", not " + Quoted(value));
      options.sets.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    }
  }
  return i;
}

std::string SubcommandNames(const std::string& group) {
  std::string names;
  for (const Command* c : GroupMembers(group))
    names += (names.empty() ? "" : ", ") + std::string(c->name).substr(group.size() + 1);
  return names;
}

// The command named at `at` (one word, or two for a group); `at` moves past it.
const Command& Resolve(const std::vector<std::string>& args, size_t& at) {
  const std::string word = args[at++];
  if (!IsGroup(word)) {
    const Command* command = FindCommand(word);
    if (command == nullptr) throw UsageError("unknown command " + Quoted(word) + " (see: dizora --help)");
    return *command;
  }
  if (at == args.size()) throw UsageError(word + ": missing subcommand: " + SubcommandNames(word));
  const std::string sub = args[at++];
  const Command* command = FindCommand(word + " " + sub);
  if (command == nullptr)
    throw UsageError(word + ": unknown subcommand " + Quoted(sub) + " (one of: " + SubcommandNames(word) + ")");
  return *command;
}

bool AsksForHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") return false;
    if (arg == "--help") return true;
  }
  return false;
}

int Report(const Failure& failure, const std::string& context, bool json) {
  const std::string message = (context.empty() ? "" : context + ": ") + Printable(failure.what());
  sys::WriteText(stderr, "dizora: " + message + "\n");
  if (json) {
    JsonObject error;
    error.Num("exit", failure.exit);
    if (failure.code) error.Num("code", *failure.code);
    else error.Null("code");
    error.Str("message", message);
    Print(JsonObject().Bool("ok", false).Merge(failure.details).Obj("error", error).Text());
  }
  return failure.exit;
}

}  // namespace

int Main(const std::vector<std::string>& args) {
  sys::PrepareStandardStreams();
  std::string context;
  bool json = false;
  try {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
      Write(OverviewHelp());
      return kExitOk;
    }
    if (!args.empty() && args[0] == "--version") {
      Print(std::string("dizora ") + kVersion);
      return kExitOk;
    }
    GlobalOptions options;
    size_t at = ParseGlobal(args, options);
    if (at == args.size()) throw UsageError("missing command (see: dizora --help)");
    if (args[at].size() > 1 && args[at][0] == '-') throw UsageError("unknown option " + Quoted(args[at]));
    if (IsGroup(args[at]) && at + 1 < args.size() && args[at + 1] == "--help") {
      Write(GroupHelp(args[at]));
      return kExitOk;
    }
    const Command& command = Resolve(args, at);
    context = command.name;
    const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(at), args.end());
    if (AsksForHelp(rest)) {
      Write(CommandHelp(command));
      return kExitOk;
    }
    const Invocation call = Parse(command, options, rest);
    json = call.Json();
    return command.run(call);
  } catch (const Failure& failure) {
    return Report(failure, context, json);
  } catch (const std::bad_alloc&) {
    return Report(Failure(kExitEngine, "not enough memory"), context, json);
  } catch (const std::exception& e) {
    return Report(Failure(kExitEngine, e.what()), context, json);
  }
}

}  // namespace dztool
