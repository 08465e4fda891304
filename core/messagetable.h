#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tvl {

inline constexpr const char* kEnglishTable = "english.dat";
inline constexpr const char* kRussianTable = "russian.dat";

// Key=value lines of one language file. The key is everything before the first "=",
// nothing is trimmed, the first line with a key wins and keys compare ignoring ASCII
// letter case. A missing key gives the empty text.
class MessageTable {
public:
    // Reads the file and replaces the whole content; when the file cannot be read the old
    // content stays and the answer is false.
    bool load(const std::string& path);
    // Replaces the content with the lines of a text already read (a NUL byte ends it).
    void setText(std::string_view text);
    void clear() { m_lines.clear(); }

    std::string lookup(std::string_view key) const;
    const std::vector<std::string>& lines() const { return m_lines; }

private:
    std::vector<std::string> m_lines;
};

// The two texts that stand in the program because no table is there to give them.
std::string tableReadErrorText(bool russian);

}  // namespace tvl
