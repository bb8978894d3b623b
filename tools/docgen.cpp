// Writes the man page (dizora.1) and the bash completion of the tool from its
// command table, at build time: `dizora_docgen man|bash-completion FILE`.
#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "commands.h"

namespace dztool {

namespace {

// Text for roff: backslashes and hyphens escaped, no line taken for a request.
std::string Roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

std::string Bold(const std::string& text) { return "\\fB" + Roff(text) + "\\fR"; }

std::string OptionItem(const Option& o) {
  return ".TP\n" + Bold(o.name) + (*o.value ? " " + Roff(o.value) : "") + "\n" + Roff(o.help) + "\n";
}

std::string ManPage() {
  std::string page = ".TH DIZORA 1 \"\" \"dizora " + std::string(kVersion) + "\" \"User Commands\"\n";
  page += ".SH NAME\ndizora \\- sign, verify, encrypt and exchange keys with the Dizora\\-V engine\n";
  page += ".SH SYNOPSIS\n\\fBdizora\\fR [\\fIGLOBAL OPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR]\n";
  page += ".SH DESCRIPTION\n" + Roff(CommonNotes()) + "\n";
  page += ".SH GLOBAL OPTIONS\n";
  for (const Option& o : GlobalOptionList()) page += OptionItem(o);
  page += ".SH COMMANDS\n";
  for (const Command& c : Commands()) {
    page += ".TP\n" + Bold(Synopsis(c)) + "\n" + Roff(c.summary) + "\n";
    if (*c.details) page += ".IP\n" + Roff(c.details) + "\n";
    if (c.options.empty()) continue;
    page += ".RS\n";
    for (const Option& o : c.options) page += OptionItem(o);
    page += ".RE\n";
  }
  page += ".SH EXIT STATUS\n";
  for (const ExitMeaning& e : ExitMeanings()) page += ".TP\n" + Bold(std::to_string(e.status)) + "\n" + Roff(e.meaning) + "\n";
  page += ".SH SEE ALSO\n\\fBdizora help\\fR \\fICOMMAND\\fR\n";
  return page;
}

std::string Words(const std::set<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

std::string BashCompletion() {
  std::set<std::string> first{"--medium", "--set", "--regen-dir", "--help", "--version"};
  std::string groups, commands, choices;
  for (const Command& c : Commands()) {
    const std::string name = c.name;
    const size_t blank = name.find(' ');
    first.insert(name.substr(0, blank));
    std::set<std::string> options{"--help"}, with_value;
    for (const Option& o : c.options) {
      options.insert(o.name);
      if (*o.value) with_value.insert(o.name);
      if (*o.choices) choices += "    \"" + name + " " + o.name + "\") words=\"" + o.choices + "\";;\n";
    }
    commands += "    \"" + name + "\") options=\"" + Words(options) + "\"; values=\"" + Words(with_value) + "\";;\n";
  }
  for (const char* group : {"key", "medium", "regen"}) {
    std::set<std::string> subs;
    for (const Command* c : GroupMembers(group)) subs.insert(std::string(c->name).substr(std::string(group).size() + 1));
    groups += "    " + std::string(group) + ") words=\"" + Words(subs) + "\";;\n";
  }
  return "# bash completion for dizora; generated from the tool's command table\n"
         "_dizora() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} i=1 words='' options='' values=''\n"
         "  COMPREPLY=()\n"
         "  while (( i < COMP_CWORD )); do\n"
         "    case ${COMP_WORDS[i]} in\n"
         "      --medium|--set|--regen-dir) (( i += 2 ));;\n"
         "      *) break;;\n"
         "    esac\n"
         "  done\n"
         "  case $prev in\n"
         "    --medium|--regen-dir|--dir) COMPREPLY=($(compgen -d -- \"$cur\")); return;;\n"
         "    --set) return;;\n"
         "  esac\n"
         "  if (( i >= COMP_CWORD )); then\n"
         "    COMPREPLY=($(compgen -W \"" + Words(first) + "\" -- \"$cur\")); return\n"
         "  fi\n"
         "  local command=${COMP_WORDS[i]}\n"
         "  case $command in\n" + groups +
         "  esac\n"
         "  if [[ -n $words ]]; then\n"
         "    if (( i + 1 >= COMP_CWORD )); then COMPREPLY=($(compgen -W \"$words\" -- \"$cur\")); return; fi\n"
         "    command=\"$command ${COMP_WORDS[i+1]}\"\n"
         "  fi\n"
         "  case $command in\n" + commands +
         "  esac\n"
         "  words=''\n"
         "  case \"$command $prev\" in\n" + choices +
         "  esac\n"
         "  if [[ -n $words ]]; then COMPREPLY=($(compgen -W \"$words\" -- \"$cur\")); return; fi\n"
         "  if [[ $cur == -* && \" $values \" != *\" $prev \"* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\")); return\n"
         "  fi\n"
         "  if [[ $command == help ]]; then\n"
         "    COMPREPLY=($(compgen -W \"" + Words(first) + "\" -- \"$cur\")); return\n"
         "  fi\n"
         "  COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "}\n"
         "complete -o filenames -F _dizora dizora\n";
}

}  // namespace

}  // namespace dztool

int main(int argc, char** argv) {
  const std::string what = argc == 3 ? argv[1] : "";
  if (what != "man" && what != "bash-completion") {
    std::fprintf(stderr, "usage: dizora_docgen man|bash-completion FILE\n");
    return 2;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << (what == "man" ? dztool::ManPage() : dztool::BashCompletion());
  return out.good() ? 0 : 1;
}
