// Output to the user through the platform's console writer.
#include "print.h"

#include "sys.h"

namespace dztool {

void Print(const std::string& utf8) { sys::WriteText(stdout, utf8 + "\n"); }

void Write(const std::string& utf8) { sys::WriteText(stdout, utf8); }

void Status(const std::string& output, const std::string& utf8) {
  sys::WriteText(output == "-" ? stderr : stdout, utf8 + "\n");
}

void PrintJson(const JsonObject& fields) { Print(JsonObject().Bool("ok", true).Merge(fields).Text()); }

}  // namespace dztool
