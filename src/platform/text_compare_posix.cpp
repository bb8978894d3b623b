// POSIX: no system comparison of ANSI texts; callers fold letter case.
#include "platform/text_compare.h"

namespace dizora::platform {

std::optional<bool> SystemTextsEqualIgnoringCase(std::string_view, std::string_view) noexcept {
  return std::nullopt;
}

std::optional<std::string> SystemIgnoringCaseKey(std::string_view) { return std::nullopt; }

}  // namespace dizora::platform
