#pragma once

#include <string>

namespace tvl {

// Reads a whole regular file; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& out);

}  // namespace tvl
