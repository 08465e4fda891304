#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace tvl::sim {

constexpr std::size_t kMaxHeaderLine = 256;   // bytes, its LF included
constexpr std::size_t kMaxPayload = 1048576;  // one payload
constexpr std::string_view kGreeting = "VISM 1\n";

struct Request {
    enum class Kind { Exec, Quit } kind = Kind::Exec;
    std::string code;
    std::array<std::string, 10> params;
};

// Cuts requests out of the bytes received on one connection.
class RequestReader {
public:
    enum class Status { NeedMore, Ready, Malformed };

    // Takes the next request out of `buffer` when it is complete. On Malformed, `problem`
    // says why (the text after "<PROTOCOL>").
    Status next(std::string& buffer, Request& out);

    const std::string& problem() const { return m_problem; }

private:
    Status fail(std::string why) {
        m_problem = std::move(why);
        return Status::Malformed;
    }
    std::string m_problem;
};

std::string okReply(std::string_view payload);
std::string errReply(int code, std::string_view payload);

// Bytes made readable for the trace: printable ASCII as it stands, the rest as \xNN, and
// long texts cut with a note of their length.
std::string readable(std::string_view bytes, std::size_t limit = 300);

}  // namespace tvl::sim
