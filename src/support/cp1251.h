// Conversion between the Windows-1251 code page and Unicode (UTF-8, UTF-16).
//
// Byte 0x98, unassigned in Windows-1251, maps to U+0098 so every byte has a
// character and converts back. Characters without a Windows-1251 byte, and
// malformed UTF-8 or UTF-16, become '?'.
#pragma once

#include <string>
#include <string_view>

namespace dizora {

// Unicode code point of a Windows-1251 byte.
char32_t Cp1251ToCodePoint(unsigned char byte) noexcept;

// Windows-1251 byte of a code point, or '?' when it has none.
unsigned char CodePointToCp1251(char32_t code_point) noexcept;

std::string Cp1251ToUtf8(std::string_view text);
std::string Utf8ToCp1251(std::string_view text);
std::u16string Cp1251ToUtf16(std::string_view text);
std::string Utf16ToCp1251(std::u16string_view text);

}  // namespace dizora
