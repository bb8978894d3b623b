// Comparison of 8-bit texts without regard to letter case by the system's
// own rules for the user's locale (on Windows CompareStringA with
// NORM_IGNORECASE, in the ANSI code page). POSIX has no such comparison for
// ANSI texts: there the answer is empty and the caller folds letter case
// itself.
#pragma once

#include <optional>
#include <string_view>

namespace dizora::platform {

// Whether `a` and `b` are equal except for letter case by the system's
// comparison in the user's locale; empty where the system offers none.
std::optional<bool> SystemTextsEqualIgnoringCase(std::string_view a, std::string_view b) noexcept;

}  // namespace dizora::platform
