// Conversions between UTF-8 and Windows-1251, and text made safe to print.
#include "text.h"

#include <cstdio>

#include "errors.h"
#include "sys.h"

namespace dztool {

namespace {

// The one Windows-1251 byte without a character.
constexpr char kUndefinedCp1251 = '\x98';

std::string Escaped(const char* format, uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, format, static_cast<unsigned>(value));
  return text;
}

// Characters that move or hide text on a terminal.
bool IsHiddenControl(uint32_t c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x200E || c == 0x200F ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

// "Α (U+0391)" for the character at `at`.
std::string DescribeCharacter(std::string_view text, size_t at) {
  size_t end = at;
  uint32_t c = 0;
  if (!NextCodePoint(text, end, c)) return Escaped("byte \\x%02X", static_cast<unsigned char>(text[at]));
  return Printable(text.substr(at, end - at)) + Escaped(" (U+%04X)", c);
}

}  // namespace

bool NextCodePoint(std::string_view text, size_t& at, uint32_t& code_point) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  uint32_t minimum = 0;
  if (lead < 0x80) {
    code_point = lead;
    ++at;
    return true;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, code_point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, code_point = lead & 0x07;
  } else {
    ++at;
    return false;
  }
  if (at + length > text.size()) {
    ++at;
    return false;
  }
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      ++at;
      return false;
    }
    code_point = (code_point << 6) | (byte(at + i) & 0x3F);
  }
  if (code_point < minimum || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    ++at;
    return false;
  }
  at += length;
  return true;
}

std::string ToUtf8(std::string_view cp1251) {
  std::string out;
  for (size_t start = 0; start <= cp1251.size();) {
    const size_t stop = std::min(cp1251.find(kUndefinedCp1251, start), cp1251.size());
    out += sys::Cp1251ToUtf8(cp1251.substr(start, stop - start));
    if (stop == cp1251.size()) break;
    out += "\\x98";
    start = stop + 1;
  }
  return out;
}

std::string ToCp1251(std::string_view utf8, std::string_view what) {
  for (size_t at = 0; at < utf8.size();) {
    const size_t start = at;
    uint32_t c = 0;
    if (!NextCodePoint(utf8, at, c))
      throw UsageError(std::string(what) + ": " + DescribeCharacter(utf8, start) + " is not UTF-8");
  }
  std::string out;
  size_t bad = 0;
  if (!sys::Utf8ToCp1251(utf8, out, bad))
    throw UsageError(std::string(what) + " cannot be given to the engine: " + DescribeCharacter(utf8, bad) +
                     " has no Windows-1251 form");
  return out;
}

std::string Printable(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    const size_t start = at;
    uint32_t c = 0;
    if (!NextCodePoint(utf8, at, c)) {
      out += Escaped("\\x%02X", static_cast<unsigned char>(utf8[start]));
    } else if (c < 0x80 && IsHiddenControl(c)) {
      out += Escaped("\\x%02X", c);
    } else if (IsHiddenControl(c)) {
      out += Escaped("\\u%04X", c);
    } else {
      out.append(utf8.substr(start, at - start));
    }
  }
  return out;
}

std::string Quoted(std::string_view utf8) { return "\"" + Printable(utf8) + "\""; }

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string EnginePath(const std::filesystem::path& path) {
  const std::string text = PathText(path);
  std::string out;
  size_t bad = 0;
  if (!sys::Utf8ToEnginePath(text, out, bad))
    throw UsageError("path " + Quoted(text) + " cannot be given to the engine: " + DescribeCharacter(text, bad) +
                     " has no form in the system's ANSI code page");
  return out;
}

std::filesystem::path PathFromEngine(const std::string& engine_text) {
  return PathOf(sys::EnginePathToUtf8(engine_text));
}

std::string Hex(const void* data, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

}  // namespace dztool
