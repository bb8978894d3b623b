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

}  // namespace dizora::platform
