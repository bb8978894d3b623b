// Name matching for directory enumeration; shared by every platform.
#include <string>

#include "platform/fs.h"
#include "platform/path_style.h"

namespace dizora::platform {

namespace {

char FoldCase(char c) noexcept {
  if (kCaseSensitiveNames) return c;
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameChar(char name_char, char mask_char) noexcept {
  return mask_char == '?' || FoldCase(name_char) == FoldCase(mask_char);
}

}  // namespace

bool MatchesMask(const std::string& name, const std::string& mask) noexcept {
  if (mask == "*" || mask == "*.*") return true;
  // Greedy matching with backtracking to the most recent '*'.
  std::size_t n = 0, m = 0;
  std::size_t star = std::string::npos, resume = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      resume = n;
    } else if (m < mask.size() && SameChar(name[n], mask[m])) {
      ++n;
      ++m;
    } else if (star != std::string::npos) {
      m = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace dizora::platform
