// The engine handle, the checked settings of a run, and its key medium.
#include "engine.h"

#include <cerrno>
#include <cstdlib>

#include "errors.h"
#include "text.h"

namespace dztool {

namespace {

namespace fs = std::filesystem;

constexpr const char* kRootVariable = "%ZRNRoot%";
// Texts the engine returns into a caller buffer: sized generously, always terminated.
constexpr size_t kTextBuffer = 2048;

// The key paths and where they point on the medium, on every platform (the
// engine's Windows defaults name drive A:).
const std::pair<Setting, const char*> kMediumPaths[] = {
    {kPublicKeyPath, "self.pub"}, {kSecretKeyPath, "self.sec"},     {kAbonentsDir, "ABONENTS"},
    {kCaDir, "CA"},               {kKeyGenPublicPath, "new.pub"}, {kKeyGenSecretPath, "new.sec"},
};

fs::path Absolute(const fs::path& path) { return fs::absolute(path).lexically_normal(); }

fs::path MediumRoot(const GlobalOptions& options) {
  if (options.medium.empty()) return Absolute(fs::current_path());
  const fs::path root = Absolute(PathOf(options.medium));
  std::error_code ec;
  if (!fs::is_directory(root, ec)) throw UsageError("--medium " + Quoted(options.medium) + ": no such directory");
  return root;
}

int32_t FindSetting(const Engine& e, const std::string& name) {
  for (int32_t i = 1; i <= e.SettingCount(); ++i)
    if (ToUtf8(e.SettingName(i)) == name) return i;
  return 0;
}

bool ParseInteger(const std::string& text, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && text[0] != ' ' && text[0] != '+';
}

// "A..B" of an integer or text-length setting.
bool ParseRange(const std::string& info, long long& low, long long& high) {
  const size_t dots = info.find("..");
  return dots != std::string::npos && ParseInteger(info.substr(0, dots), low) &&
         ParseInteger(info.substr(dots + 2), high);
}

std::vector<std::string> Choices(const std::string& info) {
  std::vector<std::string> choices;
  size_t at = 0;
  while (at <= info.size()) {
    const size_t end = std::min(info.find_first_of("\r\n", at), info.size());
    if (end > at) choices.push_back(info.substr(at, end - at));
    at = end + 1;
  }
  return choices;
}

// Refuses a value the setting's kind does not allow: a typo must not quietly
// select another behaviour (an unknown "Hash method" is the legacy digest).
void CheckSettingValue(const Engine& e, int32_t index, const std::string& name, const std::string& value) {
  std::string info;
  const int32_t kind = e.SettingKind(index, &info);
  const std::string head = "--set " + Quoted(name) + " takes ";
  long long low = 0, high = 0, number = 0;
  if (kind == kKindInteger && !value.empty() && ParseRange(info, low, high) &&
      !(ParseInteger(value, number) && number >= low && number <= high))
    throw UsageError(head + "a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", not " + Quoted(value));
  if (kind == kKindChoice) {
    std::string listed;
    for (const std::string& choice : Choices(info)) {
      if (EqualIgnoringAsciiCase(choice, value)) return;
      listed += (listed.empty() ? "" : ", ") + choice;
    }
    throw UsageError(head + "one of " + listed + ", not " + Quoted(value));
  }
  const auto length = static_cast<long long>(value.size());
  if (kind == kKindTextRange && ParseRange(info, low, high) && (length < low || length > high))
    throw UsageError(head + "a text of " + std::to_string(low) + " to " + std::to_string(high) + " bytes");
  if (kind == kKindText && ParseInteger(info, high) && length > high)
    throw UsageError(head + "a text of at most " + info + " bytes");
}

void ApplySetting(Engine& e, const std::string& name, const std::string& value) {
  const int32_t index = FindSetting(e, name);
  if (index == 0) throw UsageError("--set: no setting named " + Quoted(name) + " (see: dizora settings)");
  const int32_t kind = e.SettingKind(index);
  const std::string engine_value = kind == kKindFile || kind == kKindDirectory
                                       ? EnginePath(PathOf(value))
                                       : ToCp1251(value, "--set " + Quoted(name));
  CheckSettingValue(e, index, name, engine_value);
  e.SetSetting(index, engine_value);
}

// A setting path with "%ZRNRoot%" standing for the medium, made absolute.
fs::path ExpandRoot(const fs::path& root, const std::string& engine_value) {
  const std::string variable = kRootVariable;
  if (engine_value.size() >= variable.size() &&
      EqualIgnoringAsciiCase(engine_value.substr(0, variable.size()), variable)) {
    std::string rest = engine_value.substr(variable.size());
    if (!rest.empty() && (rest[0] == '/' || rest[0] == '\\')) rest.erase(0, 1);
    return (root / PathFromEngine(rest)).lexically_normal();
  }
  return Absolute(PathFromEngine(engine_value));
}

}  // namespace

Engine::Engine() : handle_(GetCryptObj(0)) {
  if (handle_ == nullptr) throw Failure(kExitEngine, "the engine could not be created");
}

Engine::~Engine() { DoneEngine(handle_); }

int32_t Engine::SettingCount() const { return GetCryptoParamNumber(handle_); }

std::string Engine::SettingName(int32_t index) const {
  std::vector<char> text(kTextBuffer, 0);
  GetCryptoParamName(handle_, index, text.data());
  return text.data();
}

std::string Engine::SettingValue(int32_t index) const {
  std::vector<char> text(kTextBuffer, 0);
  GetCryptoParamValue(handle_, index, text.data());
  return text.data();
}

void Engine::SetSetting(int32_t index, const std::string& value) {
  const int32_t code = SetCryptoParamValue(handle_, index, value.c_str());
  if (code != DZ_OK)
    throw Failure(kExitEngine, "setting " + Quoted(ToUtf8(SettingName(index))) + " refused: " +
                                   std::to_string(code) + ": " + Message(code), code);
}

int32_t Engine::SettingKind(int32_t index, std::string* info) const {
  int32_t kind = 0, size = 0;
  if (GetParamInfo(handle_, index, &kind, nullptr, &size) != DZ_OK) return 0;
  if (info != nullptr) {
    std::vector<char> text(static_cast<size_t>(size) + 1, 0);
    GetParamInfo(handle_, index, &kind, text.data(), &size);
    *info = text.data();
  }
  return kind;
}

std::string Engine::Message(int32_t code) const {
  std::vector<char> text(kTextBuffer, 0);
  GetCryptoErrorString(handle_, code, text.data());
  return ToUtf8(text.data());
}

Session::Session(const GlobalOptions& options) {
  medium.root = MediumRoot(options);
  SetRootPath(engine.get(), EnginePath(medium.root).c_str());
  for (const auto& [index, name] : kMediumPaths) engine.SetSetting(index, std::string(kRootVariable) + name);
  bool hash_method_set = false;
  for (const auto& [name, value] : options.sets) {
    ApplySetting(engine, name, value);
    hash_method_set = hash_method_set || name == "Hash method";
  }
  // The library's legacy digest covers only the first 65535 bytes of longer
  // data; the tool signs and hashes with the full GOST R 34.11-94 hash.
  if (!hash_method_set) engine.SetSetting(kHashMethod, "GOST");
  medium.regen = options.regen_dir.empty() ? medium.root / "REGEN" : Absolute(PathOf(options.regen_dir));
  SetRemoteGeneratePath(engine.get(), EnginePath(medium.regen).c_str());
  RefreshMedium();
  // The engine's first look at the medium completes or undoes a change that
  // a killed process left, before the tool reads any key file itself. That
  // look takes the medium's lock, which makes its lock file: a directory
  // with neither a secret key nor a change record (a folder where the tool
  // only hashes a file) is left as it is.
  const std::filesystem::path key_folder = medium.secret_key.parent_path();
  std::error_code ignored;
  if (std::filesystem::exists(medium.secret_key, ignored) ||
      std::filesystem::exists(key_folder / ".dizora.intent", ignored)) {
    std::vector<char> uid(static_cast<size_t>(GetMaxUIDLength(engine.get())) + 1, 0);
    (void)GetCurrentUserUID(engine.get(), uid.data());
  }
}

void Session::RefreshMedium() {
  const auto path = [&](Setting s) { return ExpandRoot(medium.root, engine.SettingValue(s)); };
  medium.public_key = path(kPublicKeyPath);
  medium.secret_key = path(kSecretKeyPath);
  medium.correspondents = path(kAbonentsDir);
  medium.ca = path(kCaDir);
  medium.generated_public = path(kKeyGenPublicPath);
  medium.generated_secret = path(kKeyGenSecretPath);
}

}  // namespace dztool
