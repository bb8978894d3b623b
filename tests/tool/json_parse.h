// A strict JSON parser (RFC 8259) for the tool's --json output: one value
// spanning the text, UTF-8 only, no duplicate keys. Throws on anything else.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace tool_test {

struct Json {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;

  const Json& operator[](const std::string& key) const {
    const auto found = members.find(key);
    if (kind != kObject || found == members.end()) throw std::runtime_error("no member \"" + key + "\"");
    return found->second;
  }
  bool Has(const std::string& key) const { return members.count(key) != 0; }
};

class JsonParser {
 public:
  explicit JsonParser(const std::string& text) : s_(text) {}

  Json Document() {
    Json value = Value();
    Blank();
    if (at_ != s_.size()) Fail("text after the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(at_));
  }
  char Peek() const { return at_ < s_.size() ? s_[at_] : '\0'; }
  void Blank() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) ++at_;
  }
  void Expect(char c) {
    if (Peek() != c) Fail(std::string("expected '") + c + "'");
    ++at_;
  }
  void Word(const char* word) {
    for (const char* p = word; *p; ++p) Expect(*p);
  }

  Json Value() {
    Blank();
    Json v;
    const char c = Peek();
    if (c == '{') return Object();
    if (c == '[') return Array();
    if (c == '"') v.kind = Json::kString, v.text = String();
    else if (c == 't') v.kind = Json::kBool, v.boolean = true, Word("true");
    else if (c == 'f') v.kind = Json::kBool, Word("false");
    else if (c == 'n') Word("null");
    else v.kind = Json::kNumber, v.number = Number();
    return v;
  }

  Json Object() {
    Json v;
    v.kind = Json::kObject;
    Expect('{');
    Blank();
    if (Peek() == '}') return ++at_, v;
    for (;;) {
      Blank();
      const std::string key = String();
      Blank();
      Expect(':');
      if (!v.members.emplace(key, Value()).second) Fail("duplicate key \"" + key + "\"");
      Blank();
      if (Peek() == '}') return ++at_, v;
      Expect(',');
    }
  }

  Json Array() {
    Json v;
    v.kind = Json::kArray;
    Expect('[');
    Blank();
    if (Peek() == ']') return ++at_, v;
    for (;;) {
      v.items.push_back(Value());
      Blank();
      if (Peek() == ']') return ++at_, v;
      Expect(',');
    }
  }

  double Number() {
    const size_t start = at_;
    if (Peek() == '-') ++at_;
    if (Peek() == '0') ++at_;
    else if (Peek() >= '1' && Peek() <= '9') Digits();
    else Fail("bad number");
    if (Peek() == '.') ++at_, Digits();
    if (Peek() == 'e' || Peek() == 'E') {
      ++at_;
      if (Peek() == '+' || Peek() == '-') ++at_;
      Digits();
    }
    return std::stod(s_.substr(start, at_ - start));
  }
  void Digits() {
    if (!(Peek() >= '0' && Peek() <= '9')) Fail("expected a digit");
    while (Peek() >= '0' && Peek() <= '9') ++at_;
  }

  uint32_t Hex4() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = Peek();
      ++at_;
      if (c >= '0' && c <= '9') v = v * 16 + static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') v = v * 16 + static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v = v * 16 + static_cast<uint32_t>(c - 'A' + 10);
      else Fail("bad \\u escape");
    }
    return v;
  }
  static void PutUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) { out += static_cast<char>(c); return; }
    if (c < 0x800) { out += static_cast<char>(0xC0 | (c >> 6)); }
    else if (c < 0x10000) { out += static_cast<char>(0xE0 | (c >> 12)); out += static_cast<char>(0x80 | ((c >> 6) & 63)); }
    else { out += static_cast<char>(0xF0 | (c >> 18)); out += static_cast<char>(0x80 | ((c >> 12) & 63)); out += static_cast<char>(0x80 | ((c >> 6) & 63)); }
    out += static_cast<char>(0x80 | (c & 63));
  }
  // A UTF-8 sequence copied as it is; anything else is refused.
  void Utf8(std::string& out) {
    const auto lead = static_cast<unsigned char>(Peek());
    const size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (n == 0 || at_ + n > s_.size()) Fail("not UTF-8");
    for (size_t i = 1; i < n; ++i)
      if ((static_cast<unsigned char>(s_[at_ + i]) & 0xC0) != 0x80) Fail("not UTF-8");
    out.append(s_, at_, n);
    at_ += n;
  }

  std::string String() {
    Expect('"');
    std::string out;
    for (;;) {
      if (at_ >= s_.size()) Fail("unterminated string");
      const auto c = static_cast<unsigned char>(s_[at_]);
      if (c == '"') return ++at_, out;
      if (c < 0x20) Fail("control character in a string");
      if (c >= 0x80) { Utf8(out); continue; }
      ++at_;
      if (c != '\\') { out += static_cast<char>(c); continue; }
      const char e = Peek();
      ++at_;
      switch (e) {
        case '"': case '\\': case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          uint32_t u = Hex4();
          if (u >= 0xD800 && u < 0xDC00) {
            Word("\\u");
            const uint32_t low = Hex4();
            if (low < 0xDC00 || low > 0xDFFF) Fail("bad surrogate pair");
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
          } else if (u >= 0xDC00 && u <= 0xDFFF) {
            Fail("lone surrogate");
          }
          PutUtf8(out, u);
          break;
        }
        default: Fail("bad escape");
      }
    }
  }

  const std::string& s_;
  size_t at_ = 0;
};

inline Json ParseJson(const std::string& text) { return JsonParser(text).Document(); }

}  // namespace tool_test
