#include "vismwire.h"

#include <limits>

namespace tvl::wire {

namespace {

void appendNumber(std::string& out, std::uint64_t n) {
    out += std::to_string(n);
}

}  // namespace

std::optional<std::string> encodeExec(std::string_view code, const Params& params) {
    if (code.size() > kMaxPayload) {
        return std::nullopt;
    }
    std::size_t total = code.size();
    std::string out = "EXEC ";
    appendNumber(out, code.size());
    for (const std::string& p : params) {
        if (p.size() > kMaxPayload) {
            return std::nullopt;
        }
        out += ' ';
        appendNumber(out, p.size());
        total += p.size();
    }
    out += '\n';
    out.reserve(out.size() + total);
    out.append(code);
    for (const std::string& p : params) {
        out += p;
    }
    return out;
}

std::string encodeOk(std::string_view payload) {
    std::string out = "OK ";
    appendNumber(out, payload.size());
    out += '\n';
    out.append(payload);
    return out;
}

std::string encodeErr(std::int32_t code, std::string_view name) {
    std::string out = "ERR ";
    appendNumber(out, static_cast<std::uint64_t>(code));
    out += ' ';
    appendNumber(out, name.size());
    out += '\n';
    out.append(name);
    return out;
}

std::optional<std::uint64_t> parseDecimal(std::string_view word) {
    // Twenty digits would overflow; no length or error number needs more than ten.
    if (word.empty() || word.size() > 19 || (word.size() > 1 && word[0] == '0')) {
        return std::nullopt;
    }
    std::uint64_t n = 0;
    for (char c : word) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return n;
}

std::optional<std::array<std::string_view, 12>> splitHeader(std::string_view line,
                                                            std::size_t& count) {
    std::array<std::string_view, 12> words{};
    count = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i < line.size()) {
            const unsigned char c = static_cast<unsigned char>(line[i]);
            if (c < 0x20 || c > 0x7E) {
                return std::nullopt;
            }
            if (c != ' ') {
                continue;
            }
        }
        // A blank or the end closes a word; an empty word means a doubled, leading or
        // trailing blank.
        if (i == start || count == words.size()) {
            return std::nullopt;
        }
        words[count++] = line.substr(start, i - start);
        start = i + 1;
    }
    return words;
}

template <class Frame>
Status FrameReader<Frame>::fail(std::string why) {
    m_problem = std::move(why);
    m_status = Status::Malformed;
    return m_status;
}

template <>
bool FrameReader<Reply>::parseHeader(std::string_view line) {
    // "OK <length>" or "ERR <positive 32-bit code> <length>".
    std::size_t n = 0;
    const auto words = splitHeader(line, n);
    const bool ok = words && n == 2 && (*words)[0] == "OK";
    const bool err = words && n == 3 && (*words)[0] == "ERR";
    const auto code = err ? parseDecimal((*words)[1]) : std::optional<std::uint64_t>(0);
    const auto len = ok || err ? parseDecimal((*words)[n - 1]) : std::nullopt;
    constexpr auto kMaxCode = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    if (!len || !code || (err && (*code == 0 || *code > kMaxCode))) {
        fail("malformed reply header");
        return false;
    }
    m_frame.ok = ok;
    if (err) {
        m_frame.code = static_cast<std::int32_t>(*code);
    }
    m_lengths[0] = static_cast<std::size_t>(std::min<std::uint64_t>(*len, kMaxPayload + 1));
    if (m_lengths[0] > kMaxPayload) {
        fail("reply payload over the limit");
        return false;
    }
    m_pieces = 1;
    m_payloadSize = m_lengths[0];
    return true;
}

template <>
void FrameReader<Reply>::fillPayload() {
    m_frame.payload.assign(m_buffer, m_headerEnd, m_payloadSize);
}

template <>
bool FrameReader<Request>::parseHeader(std::string_view line) {
    std::size_t n = 0;
    const auto words = splitHeader(line, n);
    if (!words) {
        fail("malformed request header");
        return false;
    }
    const auto& w = *words;
    if (n == 1 && w[0] == "QUIT") {
        m_frame.quit = true;
        m_pieces = 0;
        m_payloadSize = 0;
        return true;
    }
    if (n != 12 || w[0] != "EXEC") {
        fail("malformed request header");
        return false;
    }
    m_payloadSize = 0;
    for (std::size_t i = 0; i < 11; ++i) {
        const auto len = parseDecimal(w[i + 1]);
        if (!len) {
            fail("malformed request header");
            return false;
        }
        if (*len > kMaxPayload) {
            fail("request payload over the limit");
            return false;
        }
        m_lengths[i] = static_cast<std::size_t>(*len);
        m_payloadSize += m_lengths[i];
    }
    m_pieces = 11;
    return true;
}

template <>
void FrameReader<Request>::fillPayload() {
    std::size_t at = m_headerEnd;
    m_frame.code.assign(m_buffer, at, m_lengths[0]);
    at += m_lengths[0];
    for (std::size_t i = 0; i < kParamCount; ++i) {
        m_frame.params[i].assign(m_buffer, at, m_lengths[i + 1]);
        at += m_lengths[i + 1];
    }
}

template <class Frame>
Status FrameReader<Frame>::feed(std::string_view bytes) {
    if (m_status != Status::NeedMore) {
        // A finished frame keeps what follows it for the caller to judge.
        m_buffer.append(bytes);
        return m_status;
    }
    m_buffer.append(bytes);
    if (m_headerEnd == 0) {
        const std::size_t lf = m_buffer.find('\n');
        if (lf == std::string::npos) {
            if (m_buffer.size() >= kMaxHeaderLine) {
                return fail("header line too long");
            }
            return m_status;
        }
        if (lf + 1 > kMaxHeaderLine) {
            return fail("header line too long");
        }
        m_headerEnd = lf + 1;
        if (!parseHeader(std::string_view(m_buffer).substr(0, lf))) {
            return m_status;
        }
    }
    if (m_buffer.size() - m_headerEnd < m_payloadSize) {
        return m_status;
    }
    fillPayload();
    m_status = Status::Complete;
    return m_status;
}

template <class Frame>
std::string_view FrameReader<Frame>::rest() const {
    if (m_status != Status::Complete) {
        return {};
    }
    return std::string_view(m_buffer).substr(m_headerEnd + m_payloadSize);
}

template <class Frame>
std::string FrameReader<Frame>::cutOffText() const {
    if (m_headerEnd == 0) {
        return m_buffer.empty() ? "connection closed" : "reply cut off in its header";
    }
    return "reply cut off after " + std::to_string(m_buffer.size() - m_headerEnd) + " of " +
           std::to_string(m_payloadSize) + " payload bytes";
}

template class FrameReader<Reply>;
template class FrameReader<Request>;

}  // namespace tvl::wire
