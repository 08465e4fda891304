#include "sim/wire.h"

#include <cstdio>
#include <vector>

namespace tvl::sim {

namespace {

// A length as the protocol writes it: decimal, no sign, no leading zero.
bool parseLength(std::string_view word, std::size_t& out) {
    if (word.empty() || word.size() > 7 || (word.size() > 1 && word[0] == '0')) {
        return false;
    }
    std::size_t v = 0;
    for (char c : word) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + static_cast<std::size_t>(c - '0');
    }
    out = v;
    return true;
}

}  // namespace

RequestReader::Status RequestReader::next(std::string& buffer, Request& out) {
    std::size_t lf = buffer.find('\n');
    if (lf == std::string::npos) {
        if (buffer.size() >= kMaxHeaderLine) {
            return fail("header line too long");
        }
        for (char c : buffer) {
            if (c < 0x20 || c > 0x7e) {
                return fail("header line holds a byte that is not printable ASCII");
            }
        }
        return Status::NeedMore;
    }
    if (lf + 1 > kMaxHeaderLine) {
        return fail("header line too long");
    }
    std::string_view header(buffer.data(), lf);
    if (header.empty()) {
        return fail("empty header line");
    }
    std::vector<std::string_view> words;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= header.size(); ++i) {
        if (i == header.size() || header[i] == ' ') {
            if (i == start) {
                return fail("header words must be separated by single blanks");
            }
            words.push_back(header.substr(start, i - start));
            start = i + 1;
        } else if (header[i] < 0x20 || header[i] > 0x7e) {
            return fail("header line holds a byte that is not printable ASCII");
        }
    }
    if (words[0] == "QUIT") {
        if (words.size() != 1) {
            return fail("QUIT takes no arguments");
        }
        buffer.erase(0, lf + 1);
        out = Request{};
        out.kind = Request::Kind::Quit;
        return Status::Ready;
    }
    if (words[0] != "EXEC") {
        return fail("unknown request " + std::string(words[0].substr(0, 16)));
    }
    if (words.size() != 12) {
        return fail("EXEC needs eleven lengths");
    }
    std::size_t lengths[11];
    std::size_t total = 0;
    for (std::size_t i = 0; i < 11; ++i) {
        if (!parseLength(words[i + 1], lengths[i])) {
            return fail("bad length " + std::string(words[i + 1].substr(0, 16)));
        }
        if (lengths[i] > kMaxPayload) {
            return fail("payload over 1048576 bytes");
        }
        total += lengths[i];
    }
    if (buffer.size() - (lf + 1) < total) {
        return Status::NeedMore;
    }
    out = Request{};
    std::size_t pos = lf + 1;
    out.code = buffer.substr(pos, lengths[0]);
    pos += lengths[0];
    for (std::size_t i = 0; i < 10; ++i) {
        out.params[i] = buffer.substr(pos, lengths[i + 1]);
        pos += lengths[i + 1];
    }
    buffer.erase(0, pos);
    return Status::Ready;
}

std::string okReply(std::string_view payload) {
    std::string out = "OK " + std::to_string(payload.size()) + "\n";
    out += payload;
    return out;
}

std::string errReply(int code, std::string_view payload) {
    std::string out = "ERR " + std::to_string(code) + " " + std::to_string(payload.size()) + "\n";
    out += payload;
    return out;
}

std::string readable(std::string_view bytes, std::size_t limit) {
    std::string out;
    std::size_t n = bytes.size() < limit ? bytes.size() : limit;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    if (n < bytes.size()) {
        out += "...(" + std::to_string(bytes.size()) + " bytes)";
    }
    return out;
}

}  // namespace tvl::sim
