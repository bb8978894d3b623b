// Command-line splitting of a command's own arguments.
#include "tool.h"

namespace dztool {

std::string Args::Value(const std::string& name, const std::string& fallback) const {
  const auto it = values.find(name);
  return it == values.end() ? fallback : it->second;
}

Args ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& with_value,
               const std::set<std::string>& flags, size_t min_positional, size_t max_positional) {
  Args out;
  bool options_end = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    // "-" alone and negative numbers (result codes) are positional too.
    const bool option_like = a.size() >= 2 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9');
    if (options_end || !option_like) {
      out.positional.push_back(a);
    } else if (a == "--") {
      options_end = true;
    } else if (with_value.count(a)) {
      if (i + 1 == args.size()) throw UsageError("option " + a + " needs a value");
      out.values[a] = args[++i];
    } else if (flags.count(a)) {
      out.flags.insert(a);
    } else {
      throw UsageError("unknown option " + a);
    }
  }
  if (out.positional.size() < min_positional) throw UsageError("missing argument");
  if (out.positional.size() > max_positional)
    throw UsageError("unexpected argument " + out.positional[max_positional]);
  return out;
}

}  // namespace dztool
