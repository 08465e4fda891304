// cachesim: a stand-in database server for trying and testing the backup scheduler on one
// machine. It runs the code lines clients send, so it is meant for the loopback interface.

#include <signal.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "core/programversion.h"
#include "sim/server.h"

namespace {

tvl::sim::Server* g_server = nullptr;

void onSignal(int) {
    if (g_server) {
        g_server->requestStop();
    }
}

int usage(const std::string& problem) {
    if (!problem.empty()) {
        std::cerr << "cachesim: " << problem << "\n";
    }
    (problem.empty() ? std::cout : std::cerr)
        << "usage: cachesim --data DIR [--listen HOST:PORT] [--database PATH]... "
           "[--trace FILE] [--idle-timeout SECONDS]\n"
           "       cachesim --help | --version\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // M numbers are written with a dot whatever the user's locale says.
    std::setlocale(LC_NUMERIC, "C");
    tvl::sim::ServerOptions options;
    bool haveData = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            usage("");
            return 0;
        }
        if (arg == "--version") {
            std::cout << tvl::versionLine("cachesim");
            return 0;
        }
        if (arg != "--data" && arg != "--listen" && arg != "--database" && arg != "--trace" &&
            arg != "--idle-timeout") {
            return usage("unknown argument " + arg);
        }
        if (!value(v) || v.empty()) {
            return usage(arg + " needs a value");
        }
        try {
            if (arg == "--data") {
                options.data = v;
                haveData = true;
            } else if (arg == "--listen") {
                tvl::sim::parseListenAddress(v, options.host, options.port);
            } else if (arg == "--database") {
                options.databases.push_back(v);
            } else if (arg == "--idle-timeout") {
                if (v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos) {
                    return usage("--idle-timeout wants a number of seconds, not \"" + v + "\"");
                }
                long secs = std::stol(v);
                // 0 keeps idle connections for as long as the server runs.
                options.idleTimeout =
                    secs > 0 ? std::chrono::milliseconds(secs * 1000)
                             : std::chrono::milliseconds(std::chrono::hours(24 * 365 * 100));
            } else if (arg == "--trace") {
                options.trace = v;
            }
        } catch (const tvl::sim::StartError& e) {
            return usage(e.what());
        }
    }
    if (!haveData) {
        return usage("--data DIR is required");
    }
    // Test harnesses may shorten how long a stalled or idle connection is kept.
    for (auto [name, target] : {std::pair{"CACHESIM_STALL_TIMEOUT_MS", &options.stallTimeout},
                                std::pair{"CACHESIM_IDLE_TIMEOUT_MS", &options.idleTimeout}}) {
        if (const char* t = std::getenv(name)) {
            long ms = std::strtol(t, nullptr, 10);
            if (ms > 0) {
                *target = std::chrono::milliseconds(ms);
            }
        }
    }

    std::signal(SIGPIPE, SIG_IGN);
    try {
        tvl::sim::Server server(options);
        std::string address = server.listen();
        g_server = &server;
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
        std::cout << "listening on " << address << std::endl;
        server.run();
        g_server = nullptr;
        if (server.jobsAbandoned()) {
            // A job thread blocked for good would keep the process from ending; the
            // globals are already written, so leave without waiting for it.
            std::cout.flush();
            std::_Exit(0);
        }
    } catch (const std::exception& e) {
        std::cerr << "cachesim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
