// The one description of the tool's commands: it drives the parsing of the
// command line, `--help`, `dizora help COMMAND`, the man page and the bash
// completion (tools/docgen.cpp), so none of them can drift from another.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dztool {

struct Option {
  const char* name;   // "-o", "--force"
  const char* value;  // "OUT"; "" for a flag
  const char* help;
  const char* choices = "";  // "raw base64 hex": what completion offers
};

struct Operand {
  const char* name;  // "FILE"
  bool optional = false;
};

struct Invocation;

struct Command {
  const char* name;  // "sign", "key include"
  std::vector<Operand> operands;
  std::vector<Option> options;
  const char* summary;  // one line for the overview
  const char* details;  // paragraphs for the command's own help and the man page
  int (*run)(const Invocation&);
};

// Options before the command.
struct GlobalOptions {
  std::string medium;
  std::string regen_dir;
  std::vector<std::pair<std::string, std::string>> sets;  // NAME, VALUE as typed (UTF-8)
};

// A command with its arguments split by its description.
struct Invocation {
  const Command& command;
  const GlobalOptions& global;
  std::vector<std::string> operands;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;

  bool Has(const std::string& option) const { return values.count(option) || flags.count(option); }
  std::string Value(const std::string& option, const std::string& fallback = "") const;
  std::string Operand(size_t index, const std::string& fallback = "") const;
  bool Json() const { return flags.count("--json") != 0; }
};

struct ExitMeaning {
  int status;
  const char* meaning;
};

const std::vector<Command>& Commands();
const std::vector<Option>& GlobalOptionList();
const std::vector<ExitMeaning>& ExitMeanings();
// Paragraphs shared by --help and the man page: operands, "-", "--".
const char* CommonNotes();
const Command* FindCommand(std::string_view name);
// "key", "medium", "regen": commands of two words.
bool IsGroup(std::string_view word);
std::vector<const Command*> GroupMembers(std::string_view group);

// Splits `args` (after the command words); "--help" is answered by the caller.
Invocation Parse(const Command& command, const GlobalOptions& global, const std::vector<std::string>& args);

// Texts of --help and `dizora help`.
std::string Synopsis(const Command& command);
std::string OverviewHelp();
std::string CommandHelp(const Command& command);
std::string GroupHelp(std::string_view group);

constexpr const char* kVersion = "0.1.0";

}  // namespace dztool
