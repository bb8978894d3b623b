// Comparison of 8-bit texts without regard to letter case by the system's
// own rules for the user's locale (on Windows CompareStringA with
// NORM_IGNORECASE, in the ANSI code page). POSIX has no such comparison for
// ANSI texts: there the answer is empty and the caller folds letter case
// itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dizora::platform {

// Whether `a` and `b` are equal except for letter case by the system's
// comparison in the user's locale; empty where the system offers none.
std::optional<bool> SystemTextsEqualIgnoringCase(std::string_view a, std::string_view b) noexcept;

// A key that two texts share exactly when the comparison above calls them
// equal (on Windows the sort key of LCMapStringA with the same flags); empty
// where the system offers no comparison or cannot make the key.
std::optional<std::string> SystemIgnoringCaseKey(std::string_view text);

}  // namespace dizora::platform
