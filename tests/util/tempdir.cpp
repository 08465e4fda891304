#include "util/tempdir.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tvl::test {

TempDir::TempDir(Where where) {
    std::error_code ec;
    const std::filesystem::path base = where == Where::Memory &&
                                               std::filesystem::is_directory("/dev/shm", ec) &&
                                               ::access("/dev/shm", W_OK) == 0
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string templ = (base / "tvltest.XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    m_path = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::string fixture(const std::string& name) {
    return std::string(TVL_TEST_DATA_DIR) + "/" + name;
}

void copyFile(const std::string& from, const std::string& to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

const char* specialFileName(SpecialFile kind) {
    switch (kind) {
        case SpecialFile::Fifo:
            return "FIFO";
        case SpecialFile::DevZero:
            return "link to /dev/zero";
        case SpecialFile::Directory:
            return "directory";
        case SpecialFile::Oversized:
            return "oversized file";
    }
    return "?";
}

void plantSpecialFile(SpecialFile kind, const std::string& path, std::size_t limit) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    bool ok = false;
    switch (kind) {
        case SpecialFile::Fifo:
            ok = ::mkfifo(path.c_str(), 0644) == 0;
            break;
        case SpecialFile::DevZero:
            ok = ::symlink("/dev/zero", path.c_str()) == 0;
            break;
        case SpecialFile::Directory:
            ok = std::filesystem::create_directory(path, ec);
            break;
        case SpecialFile::Oversized:
            writeFile(path, "");
            ok = ::truncate(path.c_str(), static_cast<off_t>(limit) + 1) == 0;
            break;
    }
    if (!ok) {
        throw std::runtime_error("cannot plant a " + std::string(specialFileName(kind)) + " at " +
                                 path);
    }
}

CommandResult runCommand(const std::string& commandLine) {
    TempDir dir;
    const std::string out = dir.file("out");
    const std::string err = dir.file("err");
    const std::string full = "(" + commandLine + ") >'" + out + "' 2>'" + err + "'";
    const int rc = std::system(full.c_str());
    CommandResult r;
    r.status = (rc != -1 && WIFEXITED(rc)) ? WEXITSTATUS(rc) : -1;
    r.out = readFile(out);
    r.err = readFile(err);
    return r;
}

ScopedLocale::ScopedLocale(const char* name) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    m_old = old ? old : "C";
    if (std::setlocale(LC_ALL, name) == nullptr) {
        throw std::runtime_error(std::string("locale not available: ") + name);
    }
}

ScopedLocale::~ScopedLocale() {
    std::setlocale(LC_ALL, m_old.c_str());
}

ScopedTimeZone::ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) {
        m_had = true;
        m_old = old;
    }
    ::setenv("TZ", tz, 1);
    ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (m_had) {
        ::setenv("TZ", m_old.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

}  // namespace tvl::test
