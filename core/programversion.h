#pragma once

#include <string>

namespace tvl {

// The version of Tarvel's programs, "2.0.0.0": major, minor, release and build.
std::string programVersion();

// What --version prints: the program's name and the version, one line.
std::string versionLine(const std::string& program);

}  // namespace tvl
