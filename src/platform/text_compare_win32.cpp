// Win32: CompareStringA in the user's locale, ignoring letter case.
#include <windows.h>

#include <limits>

#include "platform/text_compare.h"

namespace dizora::platform {

std::optional<bool> SystemTextsEqualIgnoringCase(std::string_view a, std::string_view b) noexcept {
  constexpr std::size_t kMax = static_cast<std::size_t>(std::numeric_limits<int>::max());
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  if (a.size() > kMax || b.size() > kMax) return false;
  const int result = ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                                      b.data(), static_cast<int>(b.size()));
  if (result == 0) return std::nullopt;  // the system could not compare: the caller's folding decides
  return result == CSTR_EQUAL;
}

std::optional<std::string> SystemIgnoringCaseKey(std::string_view text) {
  constexpr std::size_t kMax = static_cast<std::size_t>(std::numeric_limits<int>::max());
  if (text.empty()) return std::string();
  if (text.size() > kMax) return std::nullopt;
  const int length = static_cast<int>(text.size());
  const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
  const int size = ::LCMapStringA(LOCALE_USER_DEFAULT, flags, text.data(), length, nullptr, 0);
  if (size <= 0) return std::nullopt;
  std::string key(static_cast<std::size_t>(size), '\0');
  if (::LCMapStringA(LOCALE_USER_DEFAULT, flags, text.data(), length, key.data(), size) != size) return std::nullopt;
  return key;
}

}  // namespace dizora::platform
