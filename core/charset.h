#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tvl {

// The program's files hold text in UTF-8; task files and message tables brought over
// from Windows hold Windows-1251. A text that is not valid UTF-8 is read as Windows-1251,
// so both kinds give the same characters wherever they are read.

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view bytes);
// Each byte as its Windows-1251 character, written in UTF-8; 0x98, which has none, gives
// U+FFFD.
std::string windows1251ToUtf8(std::string_view bytes);
// The text of a file's bytes in UTF-8: valid UTF-8 as it is, anything else as Windows-1251.
std::string fileTextToUtf8(std::string_view bytes);
// The character that begins at byte `at` (below the text's size) of a text read as UTF-8 or
// as Windows-1251; `at` moves past it, never past the text's end. In UTF-8 the text should
// be valid (isValidUtf8). Lets a caller compare a text character by character without
// converting all of it.
char32_t nextFileChar(std::string_view text, bool utf8, std::size_t& at);

}  // namespace tvl
