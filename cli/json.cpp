#include "json.h"

#include <cstdio>

#include "core/charset.h"

namespace tvl::cli {

namespace {

void appendEscaped(std::string& out, std::string_view utf8) {
    for (char c : utf8) {
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
}

}  // namespace

void appendJsonString(std::string& out, std::string_view fileBytes) {
    out += '"';
    if (isValidUtf8(fileBytes)) {
        appendEscaped(out, fileBytes);
    } else {
        appendEscaped(out, windows1251ToUtf8(fileBytes));
    }
    out += '"';
}

std::string jsonString(std::string_view fileBytes) {
    std::string out;
    out.reserve(fileBytes.size() + 2);
    appendJsonString(out, fileBytes);
    return out;
}

std::string jsonMinute(const LocalDateTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "T%02d:%02d\"", t.hour, t.minute);
    return '"' + isoDateText(t.date) + buf;
}

}  // namespace tvl::cli
