#include "profilefile.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "asciicase.h"
#include "fileio.h"
#include "taskfile.h"

namespace tvl {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The section name of a "[name]" line, none for any other line.
std::optional<std::string_view> sectionOf(std::string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != '[') {
        return std::nullopt;
    }
    line.remove_prefix(1);
    const std::size_t close = line.find(']');
    return trim(close == std::string_view::npos ? line : line.substr(0, close));
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

std::optional<Entry> entryOf(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    return Entry{trim(line.substr(0, eq)), trim(line.substr(eq + 1))};
}

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t more = 0;
        if (c < 0x80) {
            more = 0;
        } else if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
        } else {
            return false;
        }
        if (i + more >= text.size() && more > 0) {
            return false;
        }
        for (std::size_t k = 1; k <= more; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += more + 1;
    }
    return true;
}

// The first kProfileValueMax characters: code points of a UTF-8 text, bytes of an 8-bit one.
std::string_view cutValue(std::string_view value) {
    if (value.size() <= kProfileValueMax) {
        return value;
    }
    if (!isValidUtf8(value)) {
        return value.substr(0, kProfileValueMax);
    }
    std::size_t chars = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if ((static_cast<unsigned char>(value[i]) & 0xC0) != 0x80) {
            if (chars == kProfileValueMax) {
                return value.substr(0, i);
            }
            ++chars;
        }
    }
    return value;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether a file can be created in the folder; tried rather than asked, since the
// permission bits do not tell about a read-only mount or a user who may write anything.
bool canCreateIn(const std::string& folder) {
    std::string probe = folder + "/.tarvel-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

bool makeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            return isDirectory(path);
        }
    }
}

}  // namespace

ProfileFile::ProfileFile(std::string path) : m_path(std::move(path)) {
    std::string text;
    if (readRegularFile(m_path, text)) {
        m_lines = splitTextLines(text);
    }
}

std::optional<std::string> ProfileFile::read(std::string_view section, std::string_view key) const {
    bool inSection = false;
    bool seen = false;
    for (const std::string& line : m_lines) {
        if (const auto name = sectionOf(line)) {
            // Only the first section of a name counts, as with the entries.
            if (inSection) {
                return std::nullopt;
            }
            inSection = !seen && equalsIgnoringAsciiCase(*name, trim(section));
            seen = seen || inSection;
            continue;
        }
        if (!inSection) {
            continue;
        }
        const auto entry = entryOf(line);
        if (entry && equalsIgnoringAsciiCase(entry->key, trim(key))) {
            return std::string(cutValue(entry->value));
        }
    }
    return std::nullopt;
}

std::string ProfileFile::readString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
    auto value = read(section, key);
    return value ? std::move(*value) : std::string(fallback);
}

void ProfileFile::writeString(std::string_view section, std::string_view key,
                              std::string_view value) {
    std::string line(trim(key));
    line += '=';
    for (char c : value) {
        line += (c == '\r' || c == '\n') ? ' ' : c;
    }
    m_changed = true;

    std::size_t header = m_lines.size();
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const auto name = sectionOf(m_lines[i]);
        if (name && equalsIgnoringAsciiCase(*name, trim(section))) {
            header = i;
            break;
        }
    }
    if (header == m_lines.size()) {
        if (!m_lines.empty() && !trim(m_lines.back()).empty()) {
            m_lines.emplace_back();
        }
        m_lines.push_back("[" + std::string(trim(section)) + "]");
        m_lines.push_back(std::move(line));
        return;
    }
    // A new entry goes right after the section's last entry, before any blank lines.
    std::size_t end = header + 1;
    for (std::size_t i = header + 1; i < m_lines.size() && !sectionOf(m_lines[i]); ++i) {
        const auto entry = entryOf(m_lines[i]);
        if (entry && equalsIgnoringAsciiCase(entry->key, trim(key))) {
            m_lines[i] = std::move(line);
            return;
        }
        if (!trim(m_lines[i]).empty()) {
            end = i + 1;
        }
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(end), std::move(line));
}

bool ProfileFile::flush() const {
    // The same replace in one step as the task file's, lines ending in CR LF.
    return saveTasks(m_path, m_lines);
}

std::optional<std::string> findIgnoringCase(const std::string& folder, std::string_view name) {
    const std::string exact = folder + "/" + std::string(name);
    if (::access(exact.c_str(), F_OK) == 0) {
        return exact;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    while (const dirent* e = ::readdir(dir)) {
        if (equalsIgnoringAsciiCase(e->d_name, name)) {
            found = folder + "/" + e->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

std::optional<std::string> LanguageFolders::find(std::string_view name) const {
    if (!data.empty()) {
        if (auto path = findIgnoringCase(data, name)) {
            return path;
        }
    }
    return findIgnoringCase(program, name);
}

std::string LanguageFolders::writePath(std::string_view name) const {
    if (auto path = find(name)) {
        return *path;
    }
    if (data.empty() || canCreateIn(program)) {
        return program + "/" + std::string(name);
    }
    makeFolders(data);
    return data + "/" + std::string(name);
}

std::string xdgFolder(const char* variable, const char* underHome) {
    const char* xdg = std::getenv(variable);
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/" + underHome;
}

std::string userDataFolder() {
    return xdgFolder("XDG_DATA_HOME", ".local/share") + "/tarvel";
}

std::optional<long> wholeNumber(std::string_view text, long max) {
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    long n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + (c - '0');
    }
    return n <= max ? std::optional(n) : std::nullopt;
}

}  // namespace tvl
