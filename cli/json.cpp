#include "json.h"

#include <cstdio>

#include "core/charset.h"

namespace tvl::cli {

std::string jsonString(std::string_view fileBytes) {
    const std::string text = fileTextToUtf8(fileBytes);
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", b);
            out += esc;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string jsonMinute(const LocalDateTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "T%02d:%02d\"", t.hour, t.minute);
    return '"' + isoDateText(t.date) + buf;
}

}  // namespace tvl::cli
