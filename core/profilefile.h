#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvl {

// An INI file read and written the way the program's caption files and its language file
// have always been: "[section]" lines, then "key=value" lines. Section and key names match
// ignoring ASCII letter case, the first of two same-named entries wins, blanks around a
// name or a value are dropped when read, and a value is read up to kProfileValueMax
// characters. Writing changes the text in memory and keeps every other line of the file as
// it was; flush() replaces the file on disk in one step.
class ProfileFile {
public:
    ProfileFile() = default;
    // Reads the file; a file that is missing or cannot be read counts as empty.
    explicit ProfileFile(std::string path);

    const std::string& path() const { return m_path; }

    std::optional<std::string> read(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    // Replaces the value of the first entry of that name, or adds the entry at the end of
    // its section (the section at the end of the file). Line breaks in the value would
    // start new entries, so they are written as blanks.
    void writeString(std::string_view section, std::string_view key, std::string_view value);

    // Writes the text to a temporary file beside the file and renames it over the file, so
    // a failure leaves the old file whole. False when that could not be done.
    bool flush() const;
    bool changed() const { return m_changed; }
    const std::vector<std::string>& lines() const { return m_lines; }

private:
    std::string m_path;
    std::vector<std::string> m_lines;
    bool m_changed = false;
};

inline constexpr std::size_t kProfileValueMax = 2047;

// The entry of the folder whose name equals the name ignoring ASCII letter case, the exact
// name first; its full path, or none when the folder has no such entry.
std::optional<std::string> findIgnoringCase(const std::string& folder, std::string_view name);

// Where the caption files and the language file lie: the program's folder, which the build
// and the package fill, and the user's data folder for what the program writes when it may
// not write its own folder (an installed program). A file is read from the data folder
// when it is there, else from the program's folder; it is written where it was found, else
// into the program's folder when that can be written, else into the data folder.
struct LanguageFolders {
    std::string program;
    std::string data;

    // Full path of an existing file, found ignoring letter case; none when neither folder
    // holds it.
    std::optional<std::string> find(std::string_view name) const;
    // Full path to write the file to; creates the data folder when that is the place.
    std::string writePath(std::string_view name) const;
};

// The user's data folder of the program: $XDG_DATA_HOME/tarvel, by default
// ~/.local/share/tarvel.
std::string userDataFolder();

// A user's folder by its XDG variable (`variable`) when that holds an absolute path, else
// `underHome` below the home folder: xdgFolder("XDG_DATA_HOME", ".local/share").
std::string xdgFolder(const char* variable, const char* underHome);

// A number a settings file holds: one to four digits, at most `max`; none for anything else.
std::optional<long> wholeNumber(std::string_view text, long max);

}  // namespace tvl
