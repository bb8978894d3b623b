// What the tool prints: lines for the user, status lines, JSON.
#pragma once

#include <string>

#include "json.h"

namespace dztool {

// A line on standard output.
void Print(const std::string& utf8);
// Text on standard output as it is (it ends its own lines).
void Write(const std::string& utf8);
// A status line: on standard output, or on standard error when the data
// itself goes to standard output (`output` "-").
void Status(const std::string& output, const std::string& utf8);
// {"ok":true, ...fields} on standard output.
void PrintJson(const JsonObject& fields);

}  // namespace dztool
