#include "sim/mvalue.h"

#include <algorithm>

namespace tvl::sim {

std::string numericValue(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    while (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') {
            negative = !negative;
        }
        ++i;
    }
    std::size_t intStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        ++i;
    }
    std::string_view intPart = text.substr(intStart, i - intStart);
    std::string_view fracPart;
    if (i < text.size() && text[i] == '.') {
        std::size_t fracStart = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
        }
        fracPart = text.substr(fracStart, i - fracStart);
    }
    while (!intPart.empty() && intPart.front() == '0') {
        intPart.remove_prefix(1);
    }
    while (!fracPart.empty() && fracPart.back() == '0') {
        fracPart.remove_suffix(1);
    }
    if (intPart.empty() && fracPart.empty()) {
        return "0";
    }
    std::string out;
    out.reserve(intPart.size() + fracPart.size() + 2);
    if (negative) {
        out += '-';
    }
    out += intPart;
    if (!fracPart.empty()) {
        out += '.';
        out += fracPart;
    }
    return out;
}

bool isCanonicalNumber(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    std::string_view rest = text;
    if (rest.front() == '-') {
        rest.remove_prefix(1);
    }
    if (rest.empty()) {
        return false;
    }
    // Only digits and at most one point may appear; the canonical form then decides.
    if (std::count(rest.begin(), rest.end(), '.') > 1 ||
        !std::all_of(rest.begin(), rest.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '.'; })) {
        return false;
    }
    return numericValue(text) == text;
}

std::string negateNumber(std::string_view canonical) {
    if (canonical == "0") {
        return "0";
    }
    if (!canonical.empty() && canonical.front() == '-') {
        return std::string(canonical.substr(1));
    }
    return "-" + std::string(canonical);
}

namespace {

// Compares the magnitudes of two unsigned canonical numbers.
int compareMagnitudes(std::string_view a, std::string_view b) {
    auto split = [](std::string_view s, std::string_view& ip, std::string_view& fp) {
        std::size_t dot = s.find('.');
        ip = s.substr(0, dot);
        fp = dot == std::string_view::npos ? std::string_view{} : s.substr(dot + 1);
        if (ip == "0") {
            ip = {};
        }
    };
    std::string_view ai, af, bi, bf;
    split(a, ai, af);
    split(b, bi, bf);
    if (ai.size() != bi.size()) {
        return ai.size() < bi.size() ? -1 : 1;
    }
    if (int c = ai.compare(bi); c != 0) {
        return c < 0 ? -1 : 1;
    }
    // Fractions without trailing zeros compare as strings of digits.
    if (int c = af.compare(bf); c != 0) {
        return c < 0 ? -1 : 1;
    }
    return 0;
}

}  // namespace

int compareNumbers(std::string_view a, std::string_view b) {
    bool an = !a.empty() && a.front() == '-';
    bool bn = !b.empty() && b.front() == '-';
    if (an != bn) {
        return an ? -1 : 1;
    }
    if (an) {
        return -compareMagnitudes(a.substr(1), b.substr(1));
    }
    return compareMagnitudes(a, b);
}

int collate(std::string_view a, std::string_view b) {
    if (a.empty() || b.empty()) {
        return a.empty() == b.empty() ? 0 : (a.empty() ? -1 : 1);
    }
    bool an = isCanonicalNumber(a);
    bool bn = isCanonicalNumber(b);
    if (an && bn) {
        return compareNumbers(a, b);
    }
    if (an != bn) {
        return an ? -1 : 1;
    }
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string quoteString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
    return out;
}

std::string subscriptText(std::string_view subscript) {
    return isCanonicalNumber(subscript) ? std::string(subscript) : quoteString(subscript);
}

}  // namespace tvl::sim
