#pragma once

#include <memory>
#include <string>

namespace tvl {

class VismControl;

// The text shown when no control can be found: the program cannot do its work without it.
inline constexpr const char* kClientMissingText =
    "For normal work You must install at least Cache client";

// The control is the shared library libvism.so. It is looked for in the file that the
// environment variable TVL_VISM_LIBRARY names when set; otherwise beside the program
// (programDir), then in the installed layout's folder programDir/../lib/tarvel, then where
// the dynamic linker looks.
//
// True when the library is found and loads.
bool controlLibraryAvailable(const std::string& programDir, std::string* why = nullptr);

// Loads the library and creates a control through its exported factory; null with the
// reason in *why when that fails.
std::unique_ptr<VismControl> loadControl(const std::string& programDir, std::string* why = nullptr);

// The folder of the running program's file ("/usr/bin" for /usr/bin/tarvelctl); empty when
// it cannot be told.
std::string programDirectory();

}  // namespace tvl
