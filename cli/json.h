#pragma once

#include <string>
#include <string_view>

#include "core/civil.h"

namespace tvl::cli {

// A JSON string of a text from the working folder's files: turned into UTF-8 (a text that
// is not UTF-8 is read as Windows-1251), quoted and escaped.
std::string jsonString(std::string_view fileBytes);
// The same, added to `out`.
void appendJsonString(std::string& out, std::string_view fileBytes);

// A minute as a JSON string, "YYYY-MM-DDTHH:MM".
std::string jsonMinute(const LocalDateTime& t);

}  // namespace tvl::cli
