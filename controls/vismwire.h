#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Framing of the control's TCP protocol: a header line of printable ASCII words ended by
// LF, then exactly as many raw payload bytes as the header announces.
namespace tvl::wire {

inline constexpr std::string_view kGreeting = "VISM 1\n";
// A header line, its LF included, is at most this long.
inline constexpr std::size_t kMaxHeaderLine = 256;
// One payload (a code line, one P value, one reply) is at most this long.
inline constexpr std::size_t kMaxPayload = 1048576;
inline constexpr std::size_t kParamCount = 10;

using Params = std::array<std::string, kParamCount>;

// EXEC <c> <n0>..<n9>\n then the code line and P0..P9. No value when a part is longer
// than one payload may be.
std::optional<std::string> encodeExec(std::string_view code, const Params& params);
inline constexpr std::string_view kQuit = "QUIT\n";
std::string encodeOk(std::string_view payload);
std::string encodeErr(std::int32_t code, std::string_view name);

// A length or error number: decimal digits only, no sign, no leading zero (0 is "0").
std::optional<std::uint64_t> parseDecimal(std::string_view word);

// Splits a header line (without its LF) into words; no value unless every byte is
// printable ASCII and the words are separated by single blanks.
std::optional<std::array<std::string_view, 12>> splitHeader(std::string_view line,
                                                            std::size_t& count);

struct Reply {
    bool ok = false;
    std::int32_t code = 0;  // ERR only: positive
    std::string payload;    // OK: the value; ERR: the error's name
};

struct Request {
    bool quit = false;
    std::string code;
    Params params;
};

enum class Status { NeedMore, Complete, Malformed };

// Reads one frame from bytes that arrive in pieces. After Complete, rest() holds the
// bytes that followed the frame; after Malformed, problem() says what was wrong.
template <class Frame>
class FrameReader {
public:
    Status feed(std::string_view bytes);
    Status status() const { return m_status; }
    const Frame& frame() const { return m_frame; }
    const std::string& problem() const { return m_problem; }
    std::string_view rest() const;
    // What a cut-off stream lacked, for the error text.
    std::string cutOffText() const;

private:
    Status fail(std::string why);
    bool parseHeader(std::string_view line);
    void fillPayload();

    std::string m_buffer;
    std::size_t m_headerEnd = 0;  // bytes of the header line with its LF; 0 while unread
    std::array<std::size_t, 11> m_lengths{};
    std::size_t m_pieces = 0;
    std::size_t m_payloadSize = 0;
    Status m_status = Status::NeedMore;
    Frame m_frame;
    std::string m_problem;
};

using ReplyReader = FrameReader<Reply>;
using RequestReader = FrameReader<Request>;

template <>
bool FrameReader<Reply>::parseHeader(std::string_view line);
template <>
void FrameReader<Reply>::fillPayload();
template <>
bool FrameReader<Request>::parseHeader(std::string_view line);
template <>
void FrameReader<Request>::fillPayload();

extern template class FrameReader<Reply>;
extern template class FrameReader<Request>;

}  // namespace tvl::wire
