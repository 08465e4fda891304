#include "fileio.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <random>
#include <utility>

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

// A big block (allocateBigBlock) that grows like a string but leaves new bytes as they come.
class BigBuffer {
public:
    explicit BigBuffer(std::size_t size)
        : m_data(allocateBigBlock(size)), m_size(size), m_capacity(size) {}
    ~BigBuffer() {
        if (m_data != nullptr) {
            freeBigBlock(m_data, m_capacity);
        }
    }
    BigBuffer(BigBuffer&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)),
          m_size(other.m_size),
          m_capacity(other.m_capacity) {}
    BigBuffer(const BigBuffer&) = delete;
    BigBuffer& operator=(const BigBuffer&) = delete;
    BigBuffer& operator=(BigBuffer&&) = delete;
    char* data() { return static_cast<char*>(m_data); }
    std::size_t size() const { return m_size; }
    void resize(std::size_t size) {
        if (size > m_capacity) {
            void* const bigger = allocateBigBlock(size);
            std::memcpy(bigger, m_data, m_size);
            freeBigBlock(m_data, m_capacity);
            m_data = bigger;
            m_capacity = size;
        }
        m_size = size;
    }
    // The block, freed when the last holder lets go.
    std::shared_ptr<const void> take() {
        return {std::exchange(m_data, nullptr), [capacity = m_capacity](const void* p) {
                    freeBigBlock(const_cast<void*>(p), capacity);
                }};
    }

private:
    void* m_data;
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

bool readRegularFile(const std::string& path, std::shared_ptr<const void>& block,
                     std::string_view& text, std::size_t limit, FileProblem* why) {
    block.reset();
    text = {};
    std::optional<BigBuffer> read = readWhole<BigBuffer>(path, limit, why);
    if (!read) {
        return false;
    }
    const std::size_t size = read->size();
    block = read->take();
    text = std::string_view(static_cast<const char*>(block.get()), size);
    return true;
}

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t roundedToHugePages(std::size_t bytes) {
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

}  // namespace

void* allocateBigBlock(std::size_t bytes) {
    if (bytes < kBigBlock) {
        return ::operator new(bytes);
    }
    // Mapped a little larger and cut to whole aligned huge pages, so the kernel can back
    // them with huge pages when it has them.
    const std::size_t size = roundedToHugePages(bytes);
    void* const mapped = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        throw std::bad_alloc();
    }
    char* const base = static_cast<char*>(mapped);
    const auto misaligned = reinterpret_cast<std::uintptr_t>(base) & (kHugePage - 1);
    const std::size_t head = misaligned == 0 ? 0 : kHugePage - misaligned;
    char* const block = base + head;
    if (head > 0) {
        ::munmap(base, head);
    }
    ::munmap(block + size, kHugePage - head);
    // The last huge page only when the block fills half of it at least: a fault per 4 KiB
    // page of that part costs time, but a huge page counts its whole 2 MiB in the process's
    // memory for the bytes used there.
    const std::size_t tail = bytes & (kHugePage - 1);
    ::madvise(block, tail >= kHugePage / 2 ? size : bytes - tail, MADV_HUGEPAGE);
    return block;
}

void freeBigBlock(void* block, std::size_t bytes) {
    if (bytes < kBigBlock) {
        ::operator delete(block);
        return;
    }
    ::munmap(block, roundedToHugePages(bytes));
}

namespace {

// The file a save must replace: a symbolic link is followed, so the link stays a link.
std::string resolveTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return target;
        }
        std::string buf(PATH_MAX, '\0');
        const ssize_t n = ::readlink(target.c_str(), buf.data(), buf.size());
        if (n <= 0) {
            return target;
        }
        buf.resize(static_cast<std::size_t>(n));
        if (buf.front() == '/') {
            target = buf;
        } else {
            const std::size_t slash = target.rfind('/');
            // Relative to the folder of the link.
            target.resize(slash == std::string::npos ? 0 : slash + 1);
            target += buf;
        }
    }
    return target;
}

std::string directoryOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? "." : file.substr(0, slash + 1);
}

std::string baseNameOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? file : file.substr(slash + 1);
}

constexpr std::string_view kTempMarker = ".tmp.";
constexpr std::string_view kTempLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kTempSuffixLength = 8;

// A name of its own beside the file, created new: O_EXCL and O_NOFOLLOW make sure the
// text never goes into a file, a link or a hard link that someone put there first.
int createTemporary(const std::string& target, std::string& tmp) {
    std::random_device seed;
    std::mt19937_64 pick((static_cast<std::uint64_t>(seed()) << 32) ^ seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = target + std::string(kTempMarker);
        for (std::size_t i = 0; i < kTempSuffixLength; ++i) {
            tmp += kTempLetters[pick() % kTempLetters.size()];
        }
        const int fd =
            ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

bool isTemporaryName(std::string_view name, std::string_view base) {
    if (name.substr(0, base.size()) != base) {
        return false;
    }
    name.remove_prefix(base.size());
    // ".tmp" alone is the fixed name that earlier versions of the program used.
    if (name == ".tmp") {
        return true;
    }
    if (name.substr(0, kTempMarker.size()) != kTempMarker ||
        name.size() != kTempMarker.size() + kTempSuffixLength) {
        return false;
    }
    name.remove_prefix(kTempMarker.size());
    return name.find_first_not_of(kTempLetters) == std::string_view::npos;
}

// A save cut short by a crash leaves its temporary file behind. Only what this program
// could have left there goes: a regular file of this user with no other name. A link, a
// hard link to someone's file, a directory or another user's file stays as it is.
void removeLeftovers(const std::string& target) {
    const std::string dir = directoryOf(target);
    const std::string base = baseNameOf(target);
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
        return;
    }
    while (const dirent* e = ::readdir(d)) {
        if (!isTemporaryName(e->d_name, base)) {
            continue;
        }
        const std::string name = (dir == "." ? std::string() : dir) + e->d_name;
        struct stat st {};
        if (::lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
            st.st_uid == ::geteuid()) {
            ::unlink(name.c_str());
        }
    }
    ::closedir(d);
}

}  // namespace

bool writeAllBytes(int fd, std::string_view text, const SaveSeams* seams) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n =
            (seams && seams->write) ? seams->write(fd, p, left) : ::write(fd, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool replaceFileAtomically(const std::string& path, std::string_view bytes, mode_t newMode,
                           const SaveSeams* seams) {
    const std::string target = resolveTarget(path);
    struct stat st {};
    const bool replacing = ::stat(target.c_str(), &st) == 0;
    removeLeftovers(target);

    std::string tmp;
    const int fd = createTemporary(target, tmp);
    if (fd < 0) {
        return false;
    }
    bool ok = writeAllBytes(fd, bytes, seams);
    if (ok && replacing) {
        // The new file takes the owner and group of the one it replaces where the process
        // may give them (only root may give a file away); the bits come after, since a
        // change of owner clears the set-id bits.
        const bool given = ::fchown(fd, st.st_uid, st.st_gid) == 0 ||
                           ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) == 0;
        static_cast<void>(given);  // else the file stays this user's, as a new one would
    }
    ok = ok && ::fchmod(fd, replacing ? st.st_mode & 07777 : newMode) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) {
        const int rc = (seams && seams->rename) ? seams->rename(tmp.c_str(), target.c_str())
                                                : ::rename(tmp.c_str(), target.c_str());
        ok = rc == 0;
    }
    if (!ok) {
        const int failed = errno;
        ::unlink(tmp.c_str());
        errno = failed;
        return false;
    }
    // The rename itself must reach the disk, or a crash could bring the old file back.
    const std::string dir = directoryOf(target);
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

}  // namespace tvl
