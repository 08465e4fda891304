#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tvl {

// Code points of the bytes 0x80..0xFF in Windows-1251; 0x98 has none (U+FFFD).
extern const std::array<char16_t, 128> kWindows1251High;

bool isValidUtf8(std::string_view bytes);

// The text of a task file or message table as UTF-8. The program writes UTF-8; a text
// that is not valid UTF-8 came from Windows and is read as Windows-1251.
std::string utf8FromFileBytes(std::string_view bytes);

}  // namespace tvl
