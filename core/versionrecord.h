#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tvl {

// The program file's version record: four 16-bit numbers (major, minor, release, build)
// that the build writes into the executable as an ELF note of its own section, from the
// project's version.
using FileVersion = std::array<std::uint16_t, 4>;

inline constexpr const char* kVersionSection = ".note.tarvel.version";
inline constexpr const char* kVersionNoteName = "Tarvel";
inline constexpr std::uint32_t kVersionNoteType = 1;

// Reads the record from a 64-bit ELF file; none when the file cannot be read, is no such
// file, or carries no record.
std::optional<FileVersion> readVersionRecord(const std::string& path);

// "Version 2.0.0.0": the four numbers in decimal.
std::string versionLine(const FileVersion& version);

}  // namespace tvl
