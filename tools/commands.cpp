// The command table: every command, its operands and options, and its texts.
#include "commands.h"

#include "handlers.h"

namespace dztool {

namespace {

const Option kForce{"--force", "", "replace an existing output file (never one of the medium's key files)"};
const Option kJson{"--json", "", "print one JSON object (UTF-8) instead of text"};
const Option kSigner{"--signer", "UID", "the signature must be by UID (exact, letter case included); else exit 1"};
const Option kAlg{"--alg", "YEAR", "GOST R 34.10-2001 (2001, the default) or GOST R 34.10-94 (1994)", "2001 1994"};

Option Out(const char* value, const char* help) { return Option{"-o", value, help}; }

std::vector<Command> MakeTable() {
  return {
      {"settings", {}, {kJson}, "the 13 engine settings: values, kinds and allowed values",
       "The values are those of this run: the medium's key paths and every --set applied.", RunSettings},
      {"error", {{"CODE"}}, {}, "the engine's message of a result code", "", RunError},
      {"whoami", {}, {kJson}, "UID of the medium's key pair",
       "With --json also its algorithm, the fingerprint of its key and the public-key file.", RunWhoami},
      {"keygen",
       {},
       {kAlg,
        {"--uid", "UID", "UID of the new pair (default: the \"Key gen - UID\" setting)"},
        {"--self", "", "make it the medium's own pair (self.pub, self.sec) and create ABONENTS/ and CA/"},
        {"--pub", "FILE", "public-key output (default: the \"Key gen - PKey filename\" setting, new.pub)"},
        {"--sec", "FILE", "secret-key output (default: the \"Key gen - SKey filename\" setting, new.sec)"},
        {"--force", "", "replace existing key files; the secret key they held is lost"}},
       "generate a key pair",
       "An existing key file is replaced only with --force. --pub and --sec name two different files outside "
       "the correspondents', CA and regeneration directories.",
       RunKeygen},
      {"sign", {{"FILE"}}, {Out("SIG", "signature output (default FILE.sig; standard output for input -)"), kForce},
       "detached signature of FILE by the medium's key",
       "The signature is the signer's UID, a zero byte and the 64-byte signature value.", RunSign},
      {"verify", {{"FILE"}, {"SIG"}}, {kSigner, kJson}, "check a detached signature and name the signer",
       "Exit status 1 when the signature does not verify or, with --signer, is by someone else: a bank accepts "
       "an order from its sender, not from any client it knows. One of FILE and SIG may be -.",
       RunVerify},
      {"attach", {{"FILE"}}, {Out("OUT", "signed data (default FILE.signed)"), kForce},
       "data followed by its signature and its length", "", RunAttach},
      {"detach", {{"FILE"}},
       {Out("OUT", "the data (default: FILE without .signed, else FILE.data)"), kSigner, kForce, kJson},
       "check signed data, name the signer and write the data back",
       "Nothing is written unless the signature verifies (and is by --signer UID when given).", RunDetach},
      {"encrypt", {{"FILE"}},
       {{"--to", "\"UID1;UID2\"", "recipients (default: the \"Encrypt for UID\" setting)"},
        Out("OUT", "encrypted data (default FILE.enc)"), kForce},
       "encrypt for one or more correspondents", "", RunEncrypt},
      {"decrypt", {{"FILE"}}, {Out("OUT", "the data (default: FILE without .enc, else FILE.dec)"), kForce},
       "decrypt data addressed to the medium's key",
       "The output file is readable by its owner only (mode 0600 on POSIX).", RunDecrypt},
      {"hash", {{"FILE"}}, {{"--form", "FORM", "raw, base64 or hex (the default)", "raw base64 hex"}, kJson},
       "the GOST R 34.11-94 hash of FILE",
       "The \"Hash method\" setting may choose the legacy digest instead, by its name OLD_FORMAT. With --json "
       "both the hexadecimal and the base64 form are given.",
       RunHash},
      {"key list", {}, {kJson}, "the correspondents' keys and the damaged files among them",
       "Each key with its UID, algorithm, fingerprint (the start of the GOST R 34.11-94 hash of its key bytes) "
       "and file; each damaged file with the reason.",
       RunKeyList},
      {"key include", {{"FILE"}}, {}, "take a correspondent's first key from a public-key file",
       "The key of a registration visit, handed over in person. FILE must be a public-key record; a copy of it "
       "is included and FILE itself stays where it is.",
       RunKeyInclude},
      {"key remove", {{"UID"}}, {}, "delete a correspondent's key", "", RunKeyRemove},
      {"key refresh", {{"UID"}}, {}, "re-read a correspondent's key file", "", RunKeyRefresh},
      {"key export", {{"UID", true}}, {}, "print the signed transfer of a key (default: the medium's own)", "",
       RunKeyExport},
      {"key import", {{"T"}}, {{"--from", "UID", "the transfer must be signed by UID; else exit 1"}},
       "take a key from a transfer signed by a known correspondent", "Names who signed the transfer.",
       RunKeyImport},
      {"key save", {{"DIR"}, {"T"}}, {kForce}, "write the key of a transfer into DIR as a public-key file",
       "The file gets the name the transfer carries (tran.pub for every transfer this engine makes).",
       RunKeySave},
      {"key uid", {{"T"}}, {}, "the UID of the key a transfer carries", "", RunKeyUid},
      {"key report", {{"UID", true}},
       {{"--file", "FILE", "report of a public-key file"}, {"--transfer", "T", "report of a transfer's key"}, kJson},
       "hex dump report of a key",
       "Of a correspondent's key, a file's or a transfer's; with none of them, of the key pending in the "
       "regeneration directory.",
       RunKeyReport},
      {"medium init", {{"PUBFILE"}}, {}, "make a key medium: copy PUBFILE to self.pub, create ABONENTS/ and CA/",
       "PUBFILE must be a public-key record. An existing, different self.pub is never replaced.", RunMediumInit},
      {"medium check", {}, {}, "check the whole medium and exit non-zero on a problem",
       "Checks the key files, that the secret key belongs to the public key (a test signature and encryption), "
       "that the secret keys are readable by their owner only, every file in the correspondents' directory, "
       "and reports a pending regeneration. Exit status 0 when all is well, else that of the worst problem.",
       RunMediumCheck},
      {"regen start", {}, {{"--uid", "UID", "UID of the new pair (default: the current UID with a new date)"},
                           {"--force", "", "replace a pending regeneration"}},
       "begin regenerating the key pair; prints the transfer for the bank",
       "A pending regeneration is replaced only with --force.", RunRegenStart},
      {"regen finish", {{"T"}}, {{"--from", "UID", "the answer must be signed by UID; else exit 1"}},
       "install the new key pair from the bank's answer",
       "Names who signed the answer, and refuses one signed by the medium's own key (the request itself).",
       RunRegenFinish},
      {"help", {{"COMMAND", true}, {"SUBCOMMAND", true}}, {}, "the overview, or the help of one command", "", RunHelp},
      {"demo", {}, {{"--dir", "DIR", "where the two media go (default: a new directory in the temporary one)"}, kAlg},
       "a complete client-bank exchange, step by step",
       "Two key media in a fresh directory, one line per step with its result and time; exit status 0 only "
       "when every step did what it should. Takes no global options.",
       RunDemo},
  };
}

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> table = MakeTable();
  return table;
}

const std::vector<Option>& GlobalOptionList() {
  static const std::vector<Option> options = {
      {"--medium", "DIR", "the key medium: DIR holds self.pub, self.sec, ABONENTS/ and CA/ (default: the current "
                          "directory); every key path points into it"},
      {"--set", "\"NAME=VALUE\"", "an engine setting for this run (repeatable), checked against its kind and "
                                  "allowed values (see: dizora settings)"},
      {"--regen-dir", "DIR", "the regeneration directory (default: REGEN in the medium)"},
      {"--help", "", "this overview"},
      {"--version", "", "the tool's version"},
  };
  return options;
}

const std::vector<ExitMeaning>& ExitMeanings() {
  static const std::vector<ExitMeaning> meanings = {
      {0, "success"},
      {1, "a signature that does not verify, a signer other than the one required, or data refused as altered"},
      {2, "usage error"},
      {3, "a key or correspondent not found (or damaged)"},
      {4, "a file that cannot be read or written, or an input that cannot be used (empty, too large, not a key "
          "file)"},
      {5, "any other engine failure"},
  };
  return meanings;
}

const char* CommonNotes() {
  return "A FILE of - is standard input; an output of - is standard output (status lines then go to standard "
         "error). T is a transfer: the text itself, a file holding it, or -. -- ends the options: later words "
         "are operands even when they begin with -. An output never replaces an existing file unless --force "
         "is given, and never one of the medium's key files (self.pub, self.sec, old.pub, old.sec, the key "
         "generation outputs, anything in ABONENTS/, CA/ or the regeneration directory). UIDs and texts for "
         "the engine are taken in UTF-8 and must have a Windows-1251 form; the engine's texts are shown in "
         "UTF-8, control characters escaped.";
}

const Command* FindCommand(std::string_view name) {
  for (const Command& c : Commands())
    if (name == c.name) return &c;
  return nullptr;
}

bool IsGroup(std::string_view word) { return word == "key" || word == "medium" || word == "regen"; }

std::vector<const Command*> GroupMembers(std::string_view group) {
  std::vector<const Command*> members;
  for (const Command& c : Commands()) {
    const std::string_view name = c.name;
    if (name.size() > group.size() && name.substr(0, group.size()) == group && name[group.size()] == ' ')
      members.push_back(&c);
  }
  return members;
}

}  // namespace dztool
