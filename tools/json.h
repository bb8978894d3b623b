// One JSON object per run (--json): members in the order they are set.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dztool {

class JsonObject {
 public:
  JsonObject& Str(std::string_view key, std::string_view utf8);
  JsonObject& Num(std::string_view key, int64_t value);
  JsonObject& Bool(std::string_view key, bool value);
  JsonObject& Null(std::string_view key);
  JsonObject& Obj(std::string_view key, const JsonObject& value);
  JsonObject& Arr(std::string_view key, const std::vector<JsonObject>& values);
  // Appends the members of `other`.
  JsonObject& Merge(const JsonObject& other);

  std::string Text() const;

 private:
  JsonObject& Raw(std::string_view key, std::string encoded);
  std::vector<std::pair<std::string, std::string>> members_;  // key, encoded value
};


}  // namespace dztool
