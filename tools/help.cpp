// The command line as the command table describes it: parsing and help texts.
#include <algorithm>

#include "commands.h"
#include "errors.h"
#include "text.h"

namespace dztool {

namespace {

constexpr size_t kWidth = 78;

// `text` wrapped at word boundaries, each line starting with `indent` blanks.
std::string Wrap(std::string_view text, size_t indent) {
  std::string out;
  std::string line(indent, ' ');
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find(' ', at), text.size());
    const std::string_view word = text.substr(at, end - at);
    if (line.size() > indent && line.size() + 1 + word.size() > kWidth) {
      out += line + "\n";
      line.assign(indent, ' ');
    }
    if (line.size() > indent) line += ' ';
    line += word;
    at = end + 1;
  }
  return out + line + "\n";
}

std::string OptionUsage(const Option& o) { return *o.value ? std::string(o.name) + " " + o.value : o.name; }

std::string OptionList(const std::vector<Option>& options) {
  size_t width = 0;
  for (const Option& o : options) width = std::max(width, OptionUsage(o).size());
  std::string out;
  for (const Option& o : options) {
    std::string head = "  " + OptionUsage(o);
    head.resize(width + 4, ' ');
    out += head + Wrap(o.help, width + 4).substr(width + 4);
  }
  return out;
}

const Option* FindOption(const Command& command, std::string_view name) {
  for (const Option& o : command.options)
    if (name == o.name) return &o;
  return nullptr;
}

// "-" alone and negative numbers (result codes) are operands, not options.
bool LooksLikeOption(const std::string& arg) {
  return arg.size() >= 2 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
}

std::string SeeHelp(const Command& command) { return " (see: dizora help " + std::string(command.name) + ")"; }

}  // namespace

std::string Invocation::Value(const std::string& option, const std::string& fallback) const {
  const auto found = values.find(option);
  return found == values.end() ? fallback : found->second;
}

std::string Invocation::Operand(size_t index, const std::string& fallback) const {
  return index < operands.size() ? operands[index] : fallback;
}

Invocation Parse(const Command& command, const GlobalOptions& global, const std::vector<std::string>& args) {
  Invocation call{command, global, {}, {}, {}};
  bool options_end = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_end || !LooksLikeOption(arg)) {
      call.operands.push_back(arg);
    } else if (arg == "--") {
      options_end = true;
    } else if (const Option* option = FindOption(command, arg)) {
      if (!*option->value) {
        call.flags.insert(arg);
      } else if (i + 1 == args.size()) {
        throw UsageError("option " + arg + " needs a value " + option->value + SeeHelp(command));
      } else {
        call.values[arg] = args[++i];
      }
    } else {
      throw UsageError("unknown option " + Printable(arg) + SeeHelp(command));
    }
  }
  size_t required = 0;
  for (const struct Operand& o : command.operands) required += o.optional ? 0 : 1;
  if (call.operands.size() < required)
    throw UsageError(std::string("missing ") + command.operands[call.operands.size()].name + SeeHelp(command));
  if (call.operands.size() > command.operands.size())
    throw UsageError("unexpected argument " + Quoted(call.operands[command.operands.size()]) +
                     SeeHelp(command));
  return call;
}

std::string Synopsis(const Command& command) {
  std::string text = command.name;
  for (const struct Operand& o : command.operands) text += o.optional ? " [" + std::string(o.name) + "]" : " " + std::string(o.name);
  for (const Option& o : command.options) text += " [" + OptionUsage(o) + "]";
  return text;
}

std::string OverviewHelp() {
  std::string text = "usage: dizora [GLOBAL OPTIONS] COMMAND [ARGS]\n\nglobal options:\n" +
                     OptionList(GlobalOptionList()) + "\ncommands:\n";
  for (const Command& c : Commands()) text += "  " + Synopsis(c) + "\n" + Wrap(c.summary, 6);
  text += "\n" + Wrap(CommonNotes(), 0) + "\nexit status:\n";
  for (const ExitMeaning& e : ExitMeanings())
    text += "  " + std::to_string(e.status) + "  " + Wrap(e.meaning, 5).substr(5);
  return text + "\n`dizora help COMMAND` (or `dizora COMMAND --help`) shows the help of one command.\n";
}

std::string CommandHelp(const Command& command) {
  std::string text = "usage: dizora [GLOBAL OPTIONS] " + Synopsis(command) + "\n\n" + Wrap(command.summary, 0);
  if (*command.details) text += "\n" + Wrap(command.details, 0);
  std::vector<Option> options = command.options;
  options.push_back({"--help", "", "this help"});
  return text + "\noptions:\n" + OptionList(options);
}

std::string GroupHelp(std::string_view group) {
  std::string text = "usage: dizora [GLOBAL OPTIONS] " + std::string(group) + " SUBCOMMAND [ARGS]\n\nsubcommands:\n";
  for (const Command* c : GroupMembers(group)) text += "  " + Synopsis(*c) + "\n" + Wrap(c->summary, 6);
  return text;
}

}  // namespace dztool
