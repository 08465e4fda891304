#pragma once

#include <string_view>

namespace tvl {

// Compares two texts with ASCII letters folded; other bytes compare exactly, as the program's
// 8-bit lookups of keys and directory names do.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace tvl
