// Windows-1252, the byte encoding of the run-time's texts, and Unicode: one 256-entry table
// (0x80-0x9F included; the five bytes Windows-1252 leaves unassigned stand for the C1 control
// characters of the same value, so every byte string survives a round trip).
#pragma once

#include <string>
#include <string_view>

namespace vx::platform {

inline constexpr char CP1252_MISSING = '?';  // stands for a character with no byte

char16_t cp1252_to_unicode(unsigned char byte);
// The byte of a Unicode code point, or -1 when Windows-1252 has none.
int cp1252_from_unicode(char32_t code_point);

std::u16string cp1252_to_utf16(std::string_view bytes);
std::string cp1252_to_utf8(std::string_view bytes);
// Malformed UTF-8 and characters without a byte become CP1252_MISSING, one per character
// (or per byte of a malformed sequence).
std::string utf8_to_cp1252(std::string_view utf8);
std::string utf16_to_cp1252(std::u16string_view utf16);

}  // namespace vx::platform
