#pragma once

#include <string>
#include <string_view>

namespace tvl::sim {

// M keeps every value as a string; numbers are strings in canonical form ("12", "-1.5",
// ".25", never "012", "1.50", "-0" or "5.").

// The numeric interpretation of a string: its longest leading number, signs included,
// in canonical form ("  " or "abc" give "0", "007x" gives "7", "--3" gives "3").
std::string numericValue(std::string_view text);

// True when the text is a number in canonical form; such subscripts collate as numbers.
bool isCanonicalNumber(std::string_view text);

// Negation of a canonical number.
std::string negateNumber(std::string_view canonical);

// Compares two canonical numbers exactly, whatever their length: <0, 0 or >0.
int compareNumbers(std::string_view a, std::string_view b);

// M collation of subscripts: the empty string first, then canonical numbers in numeric
// order, then every other string in byte order.
int collate(std::string_view a, std::string_view b);

// A string literal as M writes it: in double quotes, inner quotes doubled.
std::string quoteString(std::string_view text);

// A subscript as it appears in a reference text: numbers bare, strings quoted.
std::string subscriptText(std::string_view subscript);

}  // namespace tvl::sim
