#pragma once

#include <string>

namespace tvl {

// The running program's version from its version record, "2.0.0.0" (major, minor, release and
// build); "unknown" for a program file without the record.
std::string programVersion();

// What --version prints: the program's name and the version, one line.
std::string versionLine(const std::string& program);

}  // namespace tvl
