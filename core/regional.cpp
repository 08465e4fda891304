#include "regional.h"

#include <langinfo.h>

#include <cstring>
#include <ctime>

namespace tvl {

std::string shortDateFormat() {
    std::string fmt = nl_langinfo(D_FMT);
    if (fmt.empty()) {
        fmt = "%m/%d/%y";
    }
    // A two-digit year would make dates of different centuries the same text.
    std::string out;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] == '%' && i + 1 < fmt.size()) {
            char c = fmt[i + 1];
            if (c == 'y') {
                c = 'Y';
            } else if (c == 'D') {  // %D is %m/%d/%y
                out += "%m/%d/%Y";
                ++i;
                continue;
            }
            out += '%';
            out += c;
            ++i;
        } else {
            out += fmt[i];
        }
    }
    return out;
}

std::string longTimeFormat() {
    std::string fmt = nl_langinfo(T_FMT);
    if (fmt.empty()) {
        fmt = "%H:%M:%S";
    }
    return fmt;
}

namespace {

std::string formatTm(const std::tm& tm, const std::string& format) {
    if (format.empty()) {
        return {};
    }
    std::string buf(64 + format.size() * 8, '\0');
    for (;;) {
        // A leading blank lets a format that yields nothing be told from one that overflows.
        const std::string fmt = " " + format;
        const std::size_t n = std::strftime(buf.data(), buf.size(), fmt.c_str(), &tm);
        if (n > 0) {
            return buf.substr(1, n - 1);
        }
        if (buf.size() > 65536) {
            return {};
        }
        buf.resize(buf.size() * 2);
    }
}

}  // namespace

std::string formatShortDate(const CivilDate& date) {
    return formatShortDate(date, shortDateFormat());
}

std::string formatShortDate(const CivilDate& date, const std::string& format) {
    LocalDateTime t{date, 0, 0, 0};
    return formatTm(toTm(t), format);
}

std::optional<CivilDate> parseShortDate(std::string_view text) {
    return parseShortDate(text, shortDateFormat());
}

std::optional<CivilDate> parseShortDate(std::string_view text, const std::string& format) {
    const std::string s(text);
    if (s.empty() || s.size() != std::strlen(s.c_str())) {
        return std::nullopt;
    }
    std::tm tm{};
    tm.tm_mday = 0;
    tm.tm_mon = -1;
    tm.tm_year = -100000;
    const char* end = strptime(s.c_str(), format.c_str(), &tm);
    if (end == nullptr || *end != '\0' || tm.tm_mday == 0 || tm.tm_mon < 0 ||
        tm.tm_year == -100000) {
        return std::nullopt;
    }
    CivilDate d{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
    if (!isValidDate(d)) {
        return std::nullopt;
    }
    return d;
}

std::string formatLongTime(int hour, int minute, int second) {
    return formatLongTime(hour, minute, second, longTimeFormat());
}

std::string formatLongTime(int hour, int minute, int second, const std::string& format) {
    LocalDateTime t{CivilDate{2000, 1, 1}, hour, minute, second};
    return formatTm(toTm(t), format);
}

}  // namespace tvl
