// The engine's key settings and the process-wide registry of binding objects.
//
// Every key operation of TCryptoCEngine runs the common frame below: it reads
// the key settings, finds (or creates) the TCryptoC_DLL binding shared by all
// engines with the same four key paths, and calls one binding operation inside
// an exception guard that turns a standard exception into -3 and the
// last-error text "TCryptoCEngine.<operation>: <class>: <message>", and
// memory that could not be obtained into -8.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "engine/crypto_c_engine.h"
#include "binding/crypto_c_dll.h"
#include "binding/key_settings.h"

namespace dizora {

// A setting text as a 32-bit integer: optional leading blanks, an optional
// sign and decimal digits, nothing after them. False when it is not one.
bool ParseSettingInteger(const std::string& text, int32_t& value);

// The text without leading and trailing blanks and control characters.
std::string TrimSettingText(const std::string& text);

// The binding object for `key`. Results: 0 found or created; -29 the library
// could not be loaded, -30 it lacks an entry point (the new object is
// discarded, so the next call tries again); -1 an entry without an object.
// `callback` is handed to a binding only when this call creates it, and
// `medium()` (the key medium whose lock it takes) asked only then.
int32_t GetBindingInstance(const std::string& key, HostCallback callback,
                           const std::function<std::string()>& medium, TCryptoC_DLL*& binding);

// Calls ReleaseKeys on every binding of the registry, in registry order,
// inside the registry's critical section.
void ReleaseAllBindingKeys();

// Library start and stop. Stop destroys every binding, first entry first; it
// must run before the binding module frees the library, and only while no
// thread is inside the library.
void BindingRegistryStart();
void BindingRegistryStop() noexcept;

// Number of bindings in the registry (diagnostics and tests).
int32_t BindingRegistrySize();

// Test seam, compiled in only by test builds (DZ_TEST_SEAMS): raises an
// Exception when the environment variable "DZ_TEST_RAISE_IN" names
// `operation`, so tests reach the -3 path of an operation through the
// exported functions. Product builds do nothing here.
void RaiseTestFaultIfRequested(const char* operation);

// ---- The common frame ------------------------------------------------------

template <class Op>
int32_t TCryptoCEngine::BindingFrame(const char* operation, const std::string& key, Op op) {
  try {
    RaiseTestFaultIfRequested(operation);
    TCryptoC_DLL* binding = nullptr;
    const int32_t found =
        GetBindingInstance(key, PasswordRequestFunc, [this] { return MediumOfSettings(); }, binding);
    if (found != DZ_OK) return found;
    return op(*binding);
  } catch (const std::exception& e) {
    return ExceptionResult(operation, e);
  }
}

template <class Op>
int32_t TCryptoCEngine::MediumFrame(const char* operation, Op op) {
  TKeySettings settings;
  const int32_t read = ReadKeySettings(settings);
  if (read != DZ_OK) return read;
  return BindingFrame(operation, settings.RegistryKey(), [&](TCryptoC_DLL& binding) {
    const TMediumAccess medium(binding, TMediumAccess::Mode::kExclusive);
    return op(binding, settings);
  });
}

template <class Op>
int32_t TCryptoCEngine::KeyFrame(const char* operation, Op op) {
  TKeySettings settings;
  const int32_t read = ReadKeySettings(settings);
  if (read != DZ_OK) return read;
  return BindingFrame(operation, settings.RegistryKey(),
                      [&](TCryptoC_DLL& binding) { return op(binding, settings); });
}

}  // namespace dizora
