// The engine handle, its settings and messages, and the global options.
#include <filesystem>
#include <vector>

#include "support/cp1251.h"
#include "tool.h"

namespace dztool {

namespace {

constexpr int32_t kKindFilePath = 10;
constexpr int32_t kKindDirectory = 11;

// Texts the engine returns into a caller buffer: sized generously, always terminated.
constexpr size_t kTextBuffer = 1024;

std::string Absolute(const std::string& path) {
  return std::filesystem::absolute(std::filesystem::path(path)).lexically_normal().string();
}

bool IsPathSetting(const Engine& engine, int32_t index) {
  int32_t kind = 0;
  int32_t size = 0;
  if (GetParamInfo(engine.get(), index, &kind, nullptr, &size) != DZ_OK) return false;
  return kind == kKindFilePath || kind == kKindDirectory;
}

}  // namespace

std::string ToUtf8(const std::string& cp1251) { return dizora::Cp1251ToUtf8(cp1251); }
std::string ToCp1251(const std::string& utf8) { return dizora::Utf8ToCp1251(utf8); }

std::string ToTerminal(const std::string& cp1251) {
  std::string text = ToUtf8(cp1251);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

Engine::Engine() : handle_(GetCryptObj(0)) {
  if (handle_ == nullptr) throw std::runtime_error("the engine could not be created");
}

Engine::~Engine() { DoneEngine(handle_); }

int32_t Engine::SettingCount() const { return GetCryptoParamNumber(handle_); }

int32_t Engine::FindSetting(const std::string& name) const {
  for (int32_t i = 1; i <= SettingCount(); ++i)
    if (SettingName(i) == name) return i;
  return 0;
}

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
  Check("SetCryptoParamValue", SetCryptoParamValue(handle_, index, value.c_str()));
}

std::string Engine::Message(int32_t code) const {
  std::vector<char> text(kTextBuffer, 0);
  GetCryptoErrorString(handle_, code, text.data());
  return ToTerminal(text.data());
}

void Engine::Check(const std::string& operation, int32_t code) const {
  if (code != DZ_OK) throw EngineError(operation, code, Message(code));
}

std::string RegenDir(const GlobalOptions& options) {
  if (!options.regen_dir.empty()) return Absolute(options.regen_dir);
  const std::string base = options.medium.empty() ? std::string(".") : options.medium;
  return Absolute((std::filesystem::path(base) / "REGEN").string());
}

void Configure(Engine& engine, const GlobalOptions& options) {
  if (!options.medium.empty()) {
    std::error_code ec;
    if (!std::filesystem::is_directory(options.medium, ec))
      throw UsageError("--medium " + options.medium + ": no such directory");
    SetRootPath(engine.get(), Absolute(options.medium).c_str());
  }
  bool hash_method_set = false;
  for (const auto& [name, value] : options.sets) {
    const int32_t index = engine.FindSetting(ToCp1251(name));
    if (index == 0) throw UsageError("--set: no setting named \"" + name + "\" (see: dizora settings)");
    // Paths are file-system bytes and pass unchanged; other texts are Windows-1251.
    engine.SetSetting(index, IsPathSetting(engine, index) ? value : ToCp1251(value));
    hash_method_set = hash_method_set || index == kHashMethod;
  }
  // The library's legacy digest covers only the first 65535 bytes of longer
  // data; the tool signs and hashes with the full GOST R 34.11-94 hash.
  if (!hash_method_set) engine.SetSetting(kHashMethod, "GOST");
  SetRemoteGeneratePath(engine.get(), RegenDir(options).c_str());
}

}  // namespace dztool
