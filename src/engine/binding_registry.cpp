#include "engine/binding_registry.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "support/exceptions.h"
#include "support/medium.h"
#include "platform/env.h"
#include "platform/path_style.h"
#include "platform/process_state.h"
#include "platform/sync.h"

namespace dizora {

namespace {

// The registry: entries in order of creation, never removed while loaded.
struct BindingRegistry {
  platform::CriticalSection Lock;
  std::vector<std::pair<std::string, std::unique_ptr<TCryptoC_DLL>>> Entries;
};

// Created by BindingRegistryStart, or by the first lookup when the engine runs
// without the library's start code (linked statically); destroyed by Stop.
constinit platform::ProcessState<BindingRegistry> g_registry;

BindingRegistry& Registry() { return g_registry.Get(); }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Keys name files: letter case counts only where file names distinguish it.
bool SameKey(const std::string& a, const std::string& b) {
  if constexpr (platform::kCaseSensitiveNames) {
    return a == b;
  } else {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
  }
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Integer of a time-out setting; the empty text leaves the default in `value`.
bool ReadTimeout(const std::string& text, int32_t& value) { return text.empty() || ParseSettingInteger(text, value); }

}  // namespace

bool ParseSettingInteger(const std::string& text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  const int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value > std::numeric_limits<int32_t>::max()) return false;
  value = static_cast<int32_t>(signed_value);
  return true;
}

std::string TrimSettingText(const std::string& text) {
  const auto first = std::find_if_not(text.begin(), text.end(), IsBlankOrControl);
  const auto last = std::find_if_not(text.rbegin(), std::make_reverse_iterator(first), IsBlankOrControl);
  return std::string(first, last.base());
}

// ---- Settings of the engine -------------------------------------------------

const std::string& TCryptoCEngine::SettingValue(int32_t index) const { return ParamValues.at(index - 1); }

int32_t TCryptoCEngine::ReadKeySettings(TKeySettings& settings) const {
  settings = TKeySettings();
  settings.PublicKeyPath = ExpandRootPath(SettingValue(kSetPublicKey).c_str());
  settings.SecretKeyPath = ExpandRootPath(SettingValue(kSetSecretKey).c_str());
  settings.CorrespondentsDir = ExpandRootDir(SettingValue(kSetAbonentsDir).c_str());
  settings.CADir = ExpandRootDir(SettingValue(kSetCADir).c_str());
  if (!ReadTimeout(SettingValue(kSetKeyRequestTimeOut), settings.KeyRequestTimeout)) return DZ_E_BAD_NUMBER_SETTING;
  if (!ReadTimeout(SettingValue(kSetLastOperationTimeOut), settings.LastOpTimeout)) return DZ_E_BAD_NUMBER_SETTING;
  return DZ_OK;
}

std::string TCryptoCEngine::MediumOfSettings() const {
  return support::MediumOfSecretKey(ExpandRootPath(SettingValue(kSetSecretKey).c_str()));
}

// The paths are filled whatever the time-outs say.
std::string TCryptoCEngine::SettingsRegistryKey() const {
  TKeySettings settings;
  (void)ReadKeySettings(settings);
  return settings.RegistryKey();
}

bool TCryptoCEngine::GostHashFlag() const {
  const std::string& method = SettingValue(kSetHashMethod);
  static constexpr char kGost[] = "gost";
  return method.size() == sizeof kGost - 1 &&
         std::equal(method.begin(), method.end(), kGost, [](char a, char b) { return FoldAscii(a) == b; });
}

// ---- The registry ------------------------------------------------------------

int32_t GetBindingInstance(const std::string& key, HostCallback callback,
                           const std::function<std::string()>& medium, TCryptoC_DLL*& binding) {
  binding = nullptr;
  BindingRegistry& registry = Registry();
  platform::CriticalSectionGuard guard(registry.Lock);
  for (auto& [entry_key, object] : registry.Entries) {
    if (!SameKey(entry_key, key)) continue;
    binding = object.get();
    return binding != nullptr ? 0 : DZ_E_INIT;
  }
  auto created = std::make_unique<TCryptoC_DLL>();
  if (!created->Loaded) return DZ_E_LIBRARY_NOT_LOADED;
  if (!created->Complete) return DZ_E_LIBRARY_INCOMPLETE;
  created->Attach(callback, medium());
  registry.Entries.emplace_back(key, std::move(created));
  binding = registry.Entries.back().second.get();
  return DZ_OK;
}

void ReleaseAllBindingKeys() {
  BindingRegistry& registry = Registry();
  platform::CriticalSectionGuard guard(registry.Lock);
  for (auto& entry : registry.Entries) {
    if (entry.second) entry.second->ReleaseKeys();
  }
}

int32_t BindingRegistrySize() {
  BindingRegistry& registry = Registry();
  platform::CriticalSectionGuard guard(registry.Lock);
  return static_cast<int32_t>(registry.Entries.size());
}

void BindingRegistryStart() { (void)Registry(); }

// Runs when no thread is inside the library (api/library.h), so the lock is
// not taken: a stop must not block or throw.
void BindingRegistryStop() noexcept {
  const std::unique_ptr<BindingRegistry> registry = g_registry.Take();
  if (!registry) return;
  auto& entries = registry->Entries;
  while (!entries.empty()) {
    entries.front().second.reset();
    entries.erase(entries.begin());
  }
}

void RaiseTestFaultIfRequested(const char* operation) {
#ifdef DZ_TEST_SEAMS
  static constexpr char kVariable[] = "DZ_TEST_RAISE_IN";
  const std::string requested = platform::GetEnvVar(kVariable);
  if (!requested.empty() && requested == operation) throw Exception("Fault raised for testing");
#else
  (void)operation;
#endif
}

}  // namespace dizora
