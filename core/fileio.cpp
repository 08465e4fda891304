#include "fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tvl {

namespace {

void tell(FileProblem* why, FileProblem problem) {
    if (why != nullptr) {
        *why = problem;
    }
}

bool fail(FileProblem* why, FileProblem problem) {
    tell(why, problem);
    return false;
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

bool readRegularFile(const std::string& path, std::string& out, std::size_t limit,
                     FileProblem* why) {
    const int fd = openRegularFile(path, O_RDONLY, 0, why);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return fail(why, FileProblem::CannotRead);
    }
    if (static_cast<std::size_t>(st.st_size) > limit) {
        ::close(fd);
        return fail(why, FileProblem::TooLarge);
    }
    // One buffer of the file's size and one byte more, so a file that grows while it is
    // read is caught at the limit instead of growing the buffer.
    std::string text(static_cast<std::size_t>(st.st_size) + 1, '\0');
    std::size_t got = 0;
    for (;;) {
        if (got == text.size()) {
            if (text.size() > limit) {
                ::close(fd);
                return fail(why, FileProblem::TooLarge);
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
            return fail(why, FileProblem::CannotRead);
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(got);
    out = std::move(text);
    tell(why, FileProblem::None);
    return true;
}

}  // namespace tvl
