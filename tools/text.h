// Text between the user (UTF-8), the engine (Windows-1251) and the terminal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace dztool {

// Engine text (UIDs, messages, reports) in UTF-8.
std::string ToUtf8(std::string_view cp1251);
// UTF-8 from the command line as Windows-1251 for the engine. `what` names the
// text in the refusal (e.g. "UID \"Αλφα\""): a character Windows-1251 lacks
// would silently become another one there.
std::string ToCp1251(std::string_view utf8, std::string_view what);

// Text from files or the engine, safe for a terminal: control characters,
// bidirectional overrides and bytes that are not UTF-8 become \xNN or \uNNNN.
std::string Printable(std::string_view utf8);
// Printable(text) in double quotes.
std::string Quoted(std::string_view utf8);

// File names: UTF-8 on the command line and in messages.
std::filesystem::path PathOf(const std::string& utf8);
std::string PathText(const std::filesystem::path& path);
// A path for the engine (see sys::Utf8ToEnginePath); refused as a usage
// error when it cannot be given to the engine.
std::string EnginePath(const std::filesystem::path& path);
std::filesystem::path PathFromEngine(const std::string& engine_text);

// Reads the UTF-8 character at `at` and moves past it; false (and `at` one
// byte on) for a byte that does not start a valid, shortest-form character.
bool NextCodePoint(std::string_view text, size_t& at, uint32_t& code_point);

// The first `n` bytes as upper-case hexadecimal digits.
std::string Hex(const void* data, size_t n);
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace dztool
