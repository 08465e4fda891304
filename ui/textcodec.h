#pragma once

#include <string>
#include <string_view>

#include <QString>

namespace tvl::ui {

// The program's files hold bytes in the locale's character set, UTF-8 here. Task files and
// message tables brought over from Windows are in Windows-1251; a text that is not valid
// UTF-8 is read as Windows-1251, so both kinds show right.
QString fromFileBytes(std::string_view bytes);
// Part of a line, read in the character set found for the whole line.
QString fromFileBytes(std::string_view bytes, bool utf8);
bool isValidUtf8(std::string_view bytes);
QString fromWindows1251(std::string_view bytes);

// What the program writes: UTF-8.
std::string toFileBytes(const QString& text);

}  // namespace tvl::ui
