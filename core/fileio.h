#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tvl {

// The most a task file or a message table may hold. Both are read whole into memory, and
// every line costs the list about 32 bytes beyond its text, so a bound on the bytes and one
// on the lines together keep a hostile or mistaken file from taking more than about twice
// its size in memory. Real files are a few kilobytes.
inline constexpr std::size_t kMaxTextFileBytes = std::size_t{256} * 1024 * 1024;
inline constexpr std::size_t kMaxTextFileLines = 1'000'000;

enum class FileProblem {
    None,
    CannotOpen,  // missing, not permitted, or a FIFO without a writer
    NotRegular,  // a FIFO, a device, a socket or a directory
    TooLarge,    // more than the limit
    CannotRead,
};

// Opens a file that must be a regular one. The open never blocks (a FIFO or a device would
// otherwise wait for a peer for ever); the descriptor is returned in blocking mode. -1 and
// the reason when it cannot be opened or is anything but a regular file.
int openRegularFile(const std::string& path, int flags, mode_t mode, FileProblem* why);

// Reads a whole regular file of at most `limit` bytes into one buffer of the file's size.
// False, with the reason, when it is not a regular file, is larger, or cannot be read.
bool readRegularFile(const std::string& path, std::string& out,
                     std::size_t limit = kMaxTextFileBytes, FileProblem* why = nullptr);
// The same into a block of its own that keeps the bytes for as long as `block` is held
// (lines of a task file are views into it); a file from kBigBlock bytes up is read into
// memory that the kernel may back with huge pages. `text` is what was read.
bool readRegularFile(const std::string& path, std::shared_ptr<const void>& block,
                     std::string_view& text, std::size_t limit = kMaxTextFileBytes,
                     FileProblem* why = nullptr);

// Memory for the big blocks of a task file of a million lines: its text and the arrays
// beside its lines hold megabytes written once, page by page. On the virtual machines this
// program runs on, a fault per 4 KiB page costs more than cutting the lines, so a block
// from kBigBlock bytes up gets pages of its own that the kernel may make huge (2 MiB: one
// fault where there were 512).
inline constexpr std::size_t kBigBlock = std::size_t{1} << 20;
void* allocateBigBlock(std::size_t bytes);
void freeBigBlock(void* block, std::size_t bytes);

// Hooks for tests to make a replace fail where a disk or a file system would.
struct SaveSeams {
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
    std::function<int(const char* from, const char* to)> rename;
};

// Writes every byte, going on after a short write or an interrupted one. False when the
// disk refuses.
bool writeAllBytes(int fd, std::string_view text, const SaveSeams* seams = nullptr);

// Replaces a file's content as a whole. The bytes go to a new temporary file of its own
// name beside the file (the file's name, ".tmp." and eight letters or digits), created
// with O_EXCL and O_NOFOLLOW so nothing planted there is written through; it is flushed
// to disk and renamed over the file, and the folder is flushed, so a crash or a full disk
// never leaves a cut or empty file and a reader finds the old content or the new. A file
// that is replaced keeps its permission bits, and its owner and group where the process
// may give them; a new one gets `newMode`. A symbolic link is followed and the file it
// names is replaced. Temporary files a crashed replace left behind (and the fixed ".tmp"
// name of older versions) are removed when they are regular files of this user with one
// name. False, with errno of the step that failed, when the file could not be written;
// the old file is then whole.
bool replaceFileAtomically(const std::string& path, std::string_view bytes, mode_t newMode = 0644,
                           const SaveSeams* seams = nullptr);

}  // namespace tvl
