#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tvl::test {

// A fresh directory under the system's temporary folder, removed with everything in it
// when the object goes.
class TempDir {
public:
    enum class Where { Disk, Memory };
    // Memory: in /dev/shm when there is one, for tests that flush many small files.
    explicit TempDir(Where where = Where::Disk);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
// Copies a file of the repository's data folder (or of the tests' data folder) into dir.
void copyFile(const std::string& from, const std::string& to);
// The path of a named fixture in the tests' data folder; tests copy it before touching it.
std::string fixture(const std::string& name);

// Things put where a program expects a plain file of its own.
enum class SpecialFile {
    Fifo,     // a named pipe that nobody writes to or reads from
    DevZero,  // a symbolic link to /dev/zero, endless bytes
    Directory,
    Oversized,  // a sparse regular file one byte over the size limit
};
inline constexpr SpecialFile kSpecialFiles[] = {SpecialFile::Fifo, SpecialFile::DevZero,
                                                SpecialFile::Directory, SpecialFile::Oversized};
const char* specialFileName(SpecialFile kind);
// Replaces whatever is at path by the special file; an oversized file is `limit` + 1 bytes.
void plantSpecialFile(SpecialFile kind, const std::string& path, std::size_t limit = 0);

// Runs the command line through /bin/sh; the exit status, and what it wrote to stdout
// and stderr.
struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};
CommandResult runCommand(const std::string& commandLine);

// Sets the C library's locale for the test and puts the old one back afterwards.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name);
    ~ScopedLocale();

private:
    std::string m_old;
};

// Sets the TZ variable for the test and puts the old one back afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz);
    ~ScopedTimeZone();

private:
    bool m_had = false;
    std::string m_old;
};

}  // namespace tvl::test
