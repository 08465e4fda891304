#include "fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace tvl {

namespace {

void tell(FileProblem* why, FileProblem problem) {
    if (why != nullptr) {
        *why = problem;
    }
}

}  // namespace

int openRegularFile(const std::string& path, int flags, mode_t mode, FileProblem* why) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0) {
        tell(why, errno == EISDIR ? FileProblem::NotRegular : FileProblem::CannotOpen);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        tell(why, FileProblem::NotRegular);
        return -1;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
        ::close(fd);
        tell(why, FileProblem::CannotOpen);
        return -1;
    }
    tell(why, FileProblem::None);
    return fd;
}

namespace {

// The text of a file as one string, cleared before it is read into.
struct StringBuffer {
    explicit StringBuffer(std::size_t size) : text(size, '\0') {}
    char* data() { return text.data(); }
    std::size_t size() const { return text.size(); }
    void resize(std::size_t size) { text.resize(size); }
    std::string text;
};

// A block of bytes that grows like a string but leaves new bytes as they come.
class RawBuffer {
public:
    explicit RawBuffer(std::size_t size)
        : m_data(std::make_unique_for_overwrite<char[]>(size)), m_size(size), m_capacity(size) {}
    char* data() { return m_data.get(); }
    std::size_t size() const { return m_size; }
    void resize(std::size_t size) {
        if (size > m_capacity) {
            auto bigger = std::make_unique_for_overwrite<char[]>(size);
            std::memcpy(bigger.get(), m_data.get(), m_size);
            m_data = std::move(bigger);
            m_capacity = size;
        }
        m_size = size;
    }
    std::unique_ptr<char[]> take() { return std::move(m_data); }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size;
    std::size_t m_capacity;
};

template <class Buffer>
std::optional<Buffer> readWhole(const std::string& path, std::size_t limit, FileProblem* why) {
    const int fd = openRegularFile(path, O_RDONLY, 0, why);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        tell(why, FileProblem::CannotRead);
        return std::nullopt;
    }
    if (static_cast<std::size_t>(st.st_size) > limit) {
        ::close(fd);
        tell(why, FileProblem::TooLarge);
        return std::nullopt;
    }
    // One buffer of the file's size and one byte more, so a file that grows while it is
    // read is caught at the limit instead of growing the buffer.
    Buffer text(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == text.size()) {
            if (text.size() > limit) {
                ::close(fd);
                tell(why, FileProblem::TooLarge);
                return std::nullopt;
            }
            text.resize(text.size() + (text.size() < 65536 ? 65536 : text.size() / 2 + 1));
            if (text.size() > limit + 1) {
                text.resize(limit + 1);
            }
        }
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(fd);
            tell(why, FileProblem::CannotRead);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(got);
    tell(why, FileProblem::None);
    return text;
}

}  // namespace

bool readRegularFile(const std::string& path, std::string& out, std::size_t limit,
                     FileProblem* why) {
    std::optional<StringBuffer> text = readWhole<StringBuffer>(path, limit, why);
    if (!text) {
        return false;
    }
    out = std::move(text->text);
    return true;
}

bool readRegularFile(const std::string& path, std::unique_ptr<char[]>& out, std::size_t& size,
                     std::size_t limit, FileProblem* why) {
    std::optional<RawBuffer> text = readWhole<RawBuffer>(path, limit, why);
    if (!text) {
        return false;
    }
    size = text->size();
    out = text->take();
    return true;
}

}  // namespace tvl
