#include "simtest.h"

#include <archive.h>
#include <archive_entry.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace simtest {

namespace fs = std::filesystem;

TempDir::TempDir() : m_path(m_dir.path()) {}

void writeFile(const fs::path& p, const std::string& content) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> readLines(const fs::path& p) {
    std::vector<std::string> out;
    std::ifstream in(p);
    for (std::string l; std::getline(in, l);) {
        out.push_back(l);
    }
    return out;
}

std::string waitForLastLine(const fs::path& log) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        auto lines = readLines(log);
        if (!lines.empty() && (lines.back().rfind("Backup completed successfully", 0) == 0 ||
                               lines.back().rfind("Backup failed: ", 0) == 0)) {
            return lines.back();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "";
}

void ageFile(const fs::path& p, int secondsAgo) {
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= secondsAgo;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

std::map<std::string, std::string> archiveMembers(const fs::path& path) {
    std::map<std::string, std::string> out;
    archive* a = archive_read_new();
    archive_read_support_format_tar(a);
    if (archive_read_open_filename(a, path.c_str(), 10240) != ARCHIVE_OK) {
        std::string err = archive_error_string(a) ? archive_error_string(a) : "?";
        archive_read_free(a);
        throw std::runtime_error("cannot open archive " + path.string() + ": " + err);
    }
    archive_entry* e = nullptr;
    int rc;
    while ((rc = archive_read_next_header(a, &e)) == ARCHIVE_OK) {
        std::string data;
        char buf[8192];
        la_ssize_t n;
        while ((n = archive_read_data(a, buf, sizeof buf)) > 0) {
            data.append(buf, static_cast<std::size_t>(n));
        }
        out[archive_entry_pathname(e)] = data;
    }
    bool bad = rc != ARCHIVE_EOF;
    archive_read_free(a);
    if (bad) {
        throw std::runtime_error("damaged archive " + path.string());
    }
    return out;
}

namespace {

// In a forked child: becomes the built cachesim with these arguments.
[[noreturn]] void execCachesim(std::vector<std::string> args) {
    std::string prog = CACHESIM_PATH;
    std::vector<char*> argv{prog.data()};
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    ::execv(prog.c_str(), argv.data());
    ::_exit(127);
}

}  // namespace

SimProcess::SimProcess(std::vector<std::string> args, std::vector<std::string> env) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(out[1], 1);
        for (const auto& e : env) {
            ::putenv(const_cast<char*>(e.c_str()));
        }
        execCachesim(args);
    }
    ::close(out[1]);
    // Wait up to 10 s for the one line that says the server is ready.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string text;
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buf[256];
            ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            text.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(out[0]);
    if (text.find('\n') == std::string::npos) {
        stop(SIGKILL);
        throw std::runtime_error("cachesim did not report that it listens");
    }
    m_line = text.substr(0, text.find('\n'));
    m_port = std::atoi(m_line.substr(m_line.rfind(':') + 1).c_str());
}

SimProcess::~SimProcess() {
    if (m_pid > 0) {
        stop(SIGTERM);
    }
}

int SimProcess::stop(int signal) {
    if (m_pid <= 0) {
        return -1;
    }
    ::kill(m_pid, signal);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return status;
}

int SimProcess::stopWithin(int signal, std::chrono::milliseconds limit) {
    if (m_pid <= 0) {
        return -1;
    }
    ::kill(m_pid, signal);
    auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop(SIGKILL);
    return -1;
}

bool SimProcess::running() {
    if (m_pid <= 0) {
        return false;
    }
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return false;
    }
    return true;
}

int runToEnd(const std::vector<std::string>& args, std::string& errText) {
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(err[1], 2);
        int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 1);
        execCachesim(args);
    }
    ::close(err[1]);
    errText.clear();
    char buf[512];
    ssize_t n;
    while ((n = ::read(err[0], buf, sizeof buf)) > 0) {
        errText.append(buf, static_cast<std::size_t>(n));
    }
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string frame(const std::string& code, const std::array<std::string, 10>& params) {
    std::string header = "EXEC " + std::to_string(code.size());
    std::string body = code;
    for (const auto& p : params) {
        header += " " + std::to_string(p.size());
        body += p;
    }
    return header + "\n" + body;
}

WireClient::WireClient(int port, bool readGreeting) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        throw std::runtime_error(std::string("connect: ") + std::strerror(errno));
    }
    timeval tv{10, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (readGreeting) {
        m_greeting = readLine();
    }
}

WireClient::~WireClient() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool WireClient::fill() {
    char buf[65536];
    ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
    if (n <= 0) {
        return false;
    }
    m_buffer.append(buf, static_cast<std::size_t>(n));
    return true;
}

std::string WireClient::readLine() {
    while (m_buffer.find('\n') == std::string::npos) {
        if (!fill()) {
            std::string rest = m_buffer;
            m_buffer.clear();
            return rest;
        }
    }
    std::size_t lf = m_buffer.find('\n');
    std::string line = m_buffer.substr(0, lf + 1);
    m_buffer.erase(0, lf + 1);
    return line;
}

void WireClient::sendRaw(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            return;  // the server may close first; the reply tells the rest
        }
        done += static_cast<std::size_t>(n);
    }
}

Reply WireClient::readReply() {
    Reply r;
    std::string line = readLine();
    if (line.empty() || line.back() != '\n') {
        r.closed = true;
        return r;
    }
    line.pop_back();
    std::istringstream words(line);
    std::string word;
    words >> word;
    std::size_t len = 0;
    if (word == "OK") {
        r.ok = true;
        words >> len;
    } else if (word == "ERR") {
        words >> r.code >> len;
    } else {
        throw std::runtime_error("bad reply line: " + line);
    }
    while (m_buffer.size() < len) {
        if (!fill()) {
            throw std::runtime_error("reply cut off");
        }
    }
    r.payload = m_buffer.substr(0, len);
    m_buffer.erase(0, len);
    return r;
}

Reply WireClient::exec(const std::string& code, const std::array<std::string, 10>& params) {
    sendRaw(frame(code, params));
    return readReply();
}

bool WireClient::closedByServer() {
    while (fill()) {
    }
    char c;
    return ::recv(m_fd, &c, 1, 0) == 0;
}

}  // namespace simtest
