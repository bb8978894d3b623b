// The JSON writer of --json.
#include "json.h"

#include <cstdio>

#include "text.h"

namespace dztool {

namespace {

// A JSON string literal; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (size_t at = 0; at < utf8.size();) {
    const size_t start = at;
    uint32_t c = 0;
    if (!NextCodePoint(utf8, at, c)) {
      out += "\xEF\xBF\xBD";  // U+FFFD
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out.append(utf8.substr(start, at - start));
    }
  }
  return out + "\"";
}

}  // namespace

JsonObject& JsonObject::Raw(std::string_view key, std::string encoded) {
  members_.emplace_back(JsonString(key), std::move(encoded));
  return *this;
}

JsonObject& JsonObject::Str(std::string_view key, std::string_view utf8) { return Raw(key, JsonString(utf8)); }
JsonObject& JsonObject::Num(std::string_view key, int64_t value) { return Raw(key, std::to_string(value)); }
JsonObject& JsonObject::Bool(std::string_view key, bool value) { return Raw(key, value ? "true" : "false"); }
JsonObject& JsonObject::Null(std::string_view key) { return Raw(key, "null"); }
JsonObject& JsonObject::Obj(std::string_view key, const JsonObject& value) { return Raw(key, value.Text()); }

JsonObject& JsonObject::Arr(std::string_view key, const std::vector<JsonObject>& values) {
  std::string text = "[";
  for (size_t i = 0; i < values.size(); ++i) text += (i ? "," : "") + values[i].Text();
  return Raw(key, text + "]");
}

JsonObject& JsonObject::Merge(const JsonObject& other) {
  members_.insert(members_.end(), other.members_.begin(), other.members_.end());
  return *this;
}

std::string JsonObject::Text() const {
  std::string text = "{";
  for (size_t i = 0; i < members_.size(); ++i)
    text += (i ? "," : "") + members_[i].first + ":" + members_[i].second;
  return text + "}";
}

}  // namespace dztool
