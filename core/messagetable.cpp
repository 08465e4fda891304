#include "messagetable.h"

#include "asciicase.h"
#include "fileio.h"
#include "taskfile.h"

namespace tvl {

bool MessageTable::load(const std::string& path) {
    std::string text;
    // Not a regular file, or over the limits that bound the task file too: not read.
    if (!readRegularFile(path, text) || countTextLines(text) > kMaxTextFileLines) {
        return false;
    }
    setText(text);
    return true;
}

void MessageTable::setText(std::string_view text) {
    m_lines = splitTextLines(text);
}

std::string MessageTable::lookup(std::string_view key) const {
    for (const std::string& line : m_lines) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        if (equalsIgnoringAsciiCase(std::string_view(line).substr(0, eq), key)) {
            return line.substr(eq + 1);
        }
    }
    return {};
}

std::string tableReadErrorText(bool russian) {
    return russian ? "Ошибка чтения файла russian.dat" : "Error reading file english.dat";
}

}  // namespace tvl
