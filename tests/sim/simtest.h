#pragma once

#include <sys/types.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "util/tempdir.h"

namespace simtest {

// The shared test folder, seen as a path.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    tvl::test::TempDir m_dir;
    std::filesystem::path m_path;
};

void writeFile(const std::filesystem::path& p, const std::string& content);
std::string readFile(const std::filesystem::path& p);
std::vector<std::string> readLines(const std::filesystem::path& p);
// Waits (up to 20 s) until a job log's last line is one of its two final lines; returns it,
// or empty when none came.
std::string waitForLastLine(const std::filesystem::path& log);
// Sets a file's modification time to `secondsAgo` seconds before now.
void ageFile(const std::filesystem::path& p, int secondsAgo);

// The members of a tar archive (name to content), read with libarchive.
std::map<std::string, std::string> archiveMembers(const std::filesystem::path& archive);

// A running cachesim, stopped with SIGTERM at the end.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args, std::vector<std::string> env = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    int port() const { return m_port; }
    const std::string& listeningLine() const { return m_line; }
    // Sends a signal and waits; returns the exit status as waitpid gives it.
    int stop(int signal);
    // The same, waiting at most `limit`; then the server is killed and -1 returned.
    int stopWithin(int signal, std::chrono::milliseconds limit);
    bool running();

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_line;
};

// Runs cachesim to its end (for start-up failures); returns exit code and stderr.
int runToEnd(const std::vector<std::string>& args, std::string& errText);

struct Reply {
    bool ok = false;
    int code = 0;
    std::string payload;
    bool closed = false;  // the server closed the connection instead of replying
};

// A client that speaks the wire protocol over a blocking socket with a receive timeout.
class WireClient {
public:
    explicit WireClient(int port, bool readGreeting = true);
    ~WireClient();
    WireClient(const WireClient&) = delete;
    WireClient& operator=(const WireClient&) = delete;

    Reply exec(const std::string& code, const std::array<std::string, 10>& params = {});
    void sendRaw(const std::string& bytes);
    Reply readReply();
    std::string readLine();
    // True when the server has closed the connection (reads end of stream).
    bool closedByServer();
    const std::string& greeting() const { return m_greeting; }

private:
    int m_fd = -1;
    std::string m_buffer;
    std::string m_greeting;
    bool fill();
};

std::string frame(const std::string& code, const std::array<std::string, 10>& params = {});

}  // namespace simtest
