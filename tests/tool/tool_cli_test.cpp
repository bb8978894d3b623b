// The command line itself: help for every command, usage errors, exit
// statuses, settings, and the man page and completion against --help.
#include <set>
#include <sstream>

#include "tool_runner.h"

namespace tool_test {
namespace {

std::vector<std::string> Split(const std::string& text) {
  std::istringstream in(text);
  return std::vector<std::string>(std::istream_iterator<std::string>(in), std::istream_iterator<std::string>());
}

// The lines of a section of a help text ("commands:", "options:", ...) that
// start at `indent`; a section ends at an empty line.
std::vector<std::string> Section(const std::string& help, const std::string& title, size_t indent) {
  std::vector<std::string> lines;
  const size_t at = help.find("\n" + title + "\n");
  if (at == std::string::npos) return lines;
  std::istringstream in(help.substr(at + title.size() + 2));
  for (std::string line; std::getline(in, line) && !line.empty();)
    if (line.size() > indent && line.compare(0, indent, std::string(indent, ' ')) == 0 && line[indent] != ' ')
      lines.push_back(line.substr(indent));
  return lines;
}

// "key include FILE [--x]" -> "key include": the leading lower-case words.
std::string CommandName(const std::string& synopsis) {
  std::string name;
  for (const std::string& word : Split(synopsis)) {
    if (word.find_first_not_of("abcdefghijklmnopqrstuvwxyz") != std::string::npos) break;
    name += (name.empty() ? "" : " ") + word;
  }
  return name;
}

std::set<std::string> OptionsOf(const std::string& command_help) {
  std::set<std::string> options;
  for (const std::string& line : Section(command_help, "options:", 2)) options.insert(Split(line)[0]);
  return options;
}

TEST_F(ToolTest, EveryCommandHasItsHelpBothWays) {
  const Result overview = Run({"--help"});
  ASSERT_EQ(overview.rc, 0) << overview;
  const std::vector<std::string> synopses = Section(overview.out, "commands:", 2);
  ASSERT_GE(synopses.size(), 26u) << overview.out;
  for (const std::string& synopsis : synopses) {
    std::vector<std::string> words = Split(CommandName(synopsis));
    std::vector<std::string> help_words = words;
    help_words.insert(help_words.begin(), "help");
    words.push_back("--help");
    const Result by_help = Run(help_words);
    const Result by_option = Run(words);
    EXPECT_EQ(by_help.rc, 0) << by_help;
    EXPECT_EQ(by_help.out, by_option.out) << synopsis;
    EXPECT_EQ(by_help.out.rfind("usage: dizora [GLOBAL OPTIONS] " + synopsis + "\n", 0), 0u) << by_help.out;
  }
}

TEST_F(ToolTest, UsageErrorsExitTwoAndSayWhat) {
  WriteText(Path("a"), "x");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "missing command"},
      {{"frobnicate"}, "unknown command \"frobnicate\""},
      {{"sign"}, "sign: missing FILE"},
      {{"verify", "a"}, "verify: missing SIG"},
      {{"sign", "a", "b"}, "unexpected argument \"b\""},
      {{"sign", "--bogus", "a"}, "unknown option --bogus"},
      {{"sign", "a", "-o"}, "option -o needs a value SIG"},
      {{"hash", "a", "--form", "octal"}, "--form takes raw, base64 or hex"},
      {{"--set", "no equals sign", "settings"}, "--set takes \"NAME=VALUE\""},
      {{"--set", "No Such Setting=1", "settings"}, "no setting named \"No Such Setting\""},
      {{"--set", "Hash method=GOTS", "settings"}, "takes one of GOST, OLD_FORMAT, not \"GOTS\""},
      {{"--set", "Key request time out=soon", "settings"}, "takes a whole number from 0 to 2147483640"},
      {{"--medium"}, "option --medium needs a value"},
      {{"--medium", "no-such-dir", "whoami"}, "--medium \"no-such-dir\": no such directory"},
      {{"key"}, "key: missing subcommand: list, include"},
      {{"key", "frob"}, "unknown subcommand \"frob\""},
      {{"key", "report", "X", "--file", "y"}, "give one of UID, --file and --transfer"},
      {{"error", "twelve"}, "not a result code"},
      {{"error", "99"}, "99: no such result code"},
      {{"keygen", "--alg", "2012"}, "--alg takes 2001 or 1994"},
      {{"--medium", ".", "demo"}, "takes no global options"},
      {{"verify", "-", "-"}, "only one of FILE and SIG"},
      // Texts for the engine must have a Windows-1251 form: a Greek name
      // would silently become question marks and meet another UID.
      {{"keygen", "--uid", "Αλφα"}, "UID \"Αλφα\" cannot be given to the engine: Α (U+0391) has no Windows-1251 form"},
      {{"encrypt", "a", "--to", "Bank;Βοβ"}, "Β (U+0392) has no Windows-1251 form"},
      {{"verify", "a", "a", "--signer", "Ωmega"}, "Ω (U+03A9) has no Windows-1251 form"},
  };
  for (const auto& [args, message] : cases) {
    const Result r = Run(args);
    EXPECT_EQ(r.rc, 2) << ::testing::PrintToString(args) << "\n" << r;
    EXPECT_TRUE(r.out.empty()) << r;
    EXPECT_EQ(r.err.rfind("dizora: ", 0), 0u) << r;
    EXPECT_TRUE(Contains(r.err, message)) << message << "\n" << r;
  }
}

TEST_F(ToolTest, DoubleDashEndsTheOptions) {
  WriteText(Path("-x.txt"), "abc");
  EXPECT_EQ(Run({"hash", "-x.txt"}).rc, 2);
  const Result r = Run({"hash", "--", "-x.txt"});
  EXPECT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out, Run({"hash", "-"}, "abc").out);
  // The current directory is the default medium, but it holds no key: hashing
  // there leaves it as it was (no lock file of a medium appears).
  EXPECT_FALSE(fs::exists(Path(".dizora.lock")));
}

TEST_F(ToolTest, ExitStatusesAreDistinctAndDocumented) {
  TwoParties();
  MakeMedium("carol", "Carol");
  WriteText(Path("order.txt"), "pay 100\n");
  WriteText(Path("altered.txt"), "pay 900\n");
  ASSERT_EQ(On("alice", {"sign", "order.txt"}).rc, 0);
  ASSERT_EQ(On("carol", {"sign", "order.txt", "-o", "carol.sig"}).rc, 0);
  const std::vector<std::pair<std::vector<std::string>, int>> cases = {
      {{"--medium", "bank", "verify", "order.txt", "order.txt.sig"}, 0},
      {{"--medium", "bank", "verify", "altered.txt", "order.txt.sig"}, 1},
      {{"--medium", "bank", "verify", "order.txt", "order.txt.sig", "--signer", "Carol"}, 1},
      {{"verify", "order.txt"}, 2},
      {{"--medium", "bank", "verify", "order.txt", "carol.sig"}, 3},
      {{"--medium", "alice", "sign", "missing.txt"}, 4},
      {{"--medium", "alice", "sign", "order.txt"}, 4},  // order.txt.sig exists
      {{"--medium", "alice", "key", "remove", "Alice"}, 5},
  };
  std::set<int> seen;
  for (const auto& [args, rc] : cases) {
    const Result r = Run(args);
    EXPECT_EQ(r.rc, rc) << ::testing::PrintToString(args) << "\n" << r;
    seen.insert(r.rc);
  }
  std::set<int> documented;
  for (const std::string& line : Section(Run({"--help"}).out, "exit status:", 2)) documented.insert(std::stoi(line));
  EXPECT_EQ(documented, seen);
}

// Engine messages are Windows-1251; the tool shows them in UTF-8.
TEST_F(ToolTest, SettingsAndMessagesInUtf8) {
  EXPECT_EQ(Run({"error", "-13"}).out,
            "-13: Неверно заданы числовые параметры. Параметры \"Encrypt Method\",\"Key request time out\" и "
            "\"Last operation key time out\" должны быть целыми положительными числами.\n");
  Result r = Run({"settings"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 13) << r;
  EXPECT_TRUE(Contains(r.out, "Hash method                  = \"GOST\"  (kind 7 choice: GOST | OLD_FORMAT)")) << r;

  // The legacy digest by its name; texts go in as UTF-8 and come back unchanged.
  r = Run({"--set", "Hash method=OLD_FORMAT", "--set", "Key gen - UID=Пользователь", "settings", "--json"});
  ASSERT_EQ(r.rc, 0) << r;
  const Json settings = JsonOf(r)["settings"];
  ASSERT_EQ(settings.items.size(), 13u);
  EXPECT_EQ(settings.items[12]["name"].text, "Hash method");
  EXPECT_EQ(settings.items[12]["value"].text, "OLD_FORMAT");
  EXPECT_EQ(settings.items[9]["value"].text, "Пользователь");
  EXPECT_EQ(settings.items[0]["value"].text, "%ZRNRoot%self.pub");
}

// Roff as the man page writes it, back to plain text.
std::string PlainRoff(std::string text) {
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"\\fB", ""}, {"\\fR", ""}, {"\\fI", ""}, {"\\-", "-"}, {"\\&", ""}, {"\\e", "\\"}})
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) text.replace(at, from.size(), to);
  return text;
}

// What bash completes for `dizora WORDS... CURRENT`.
std::set<std::string> Completions(const fs::path& script, const std::vector<std::string>& words) {
  std::string array = "dizora";
  for (const std::string& w : words) array += " '" + w + "'";
  const std::string program = "source '" + script.string() + "'; COMP_WORDS=(" + array +
                              "); COMP_CWORD=" + std::to_string(words.size()) +
                              "; _dizora; printf '%s\\n' \"${COMPREPLY[@]}\"";
  const Result r = Spawn("/bin/bash", {"-c", program}, fs::temp_directory_path());
  std::set<std::string> out;
  for (const std::string& w : Split(r.out)) out.insert(w);
  return out;
}

TEST_F(ToolTest, ManPageAndCompletionAgreeWithHelp) {
  if (kWindows) GTEST_SKIP() << "the cross build makes neither";
  const fs::path share = SelfDirectory().parent_path() / "share";
  const std::string man = PlainRoff(ReadText(share / "man/man1/dizora.1"));
  const fs::path completion = share / "bash-completion/completions/dizora";
  const std::string help = Run({"--help"}).out;
  ASSERT_FALSE(man.empty());
  std::set<std::string> first_words;
  for (const std::string& synopsis : Section(help, "commands:", 2)) {
    EXPECT_TRUE(Contains(man, "\n" + synopsis + "\n")) << synopsis;
    const std::vector<std::string> words = Split(CommandName(synopsis));
    first_words.insert(words[0]);
    std::vector<std::string> query = words;
    query.push_back("-");
    std::vector<std::string> help_query = words;
    help_query.insert(help_query.begin(), "help");
    EXPECT_EQ(Completions(completion, query), OptionsOf(Run(help_query).out)) << synopsis;
  }
  for (const std::string& line : Section(help, "exit status:", 2))
    EXPECT_TRUE(Contains(man, "\n" + line.substr(0, 1) + "\n" + Split(line)[1])) << line;
  for (const std::string& line : Section(help, "global options:", 2)) {
    EXPECT_TRUE(Contains(man, "\n" + Split(line)[0])) << line;
    first_words.insert(Split(line)[0]);
  }
  EXPECT_EQ(Completions(completion, {""}), first_words);
}

}  // namespace
}  // namespace tool_test
