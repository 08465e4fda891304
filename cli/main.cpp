// tarvelctl: the scheduler's rules and the backup run from the command line, working on the
// same files as the desktop program.
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "cli.h"
#include "core/civil.h"
#include "core/programversion.h"

namespace {

using namespace tvl;
using namespace tvl::cli;

// The commands whose output scripts and monitoring read.
constexpr const char* kJsonCommands[] = {"due", "expected", "history", "list", "status"};

void printUsage(std::ostream& out) {
    out << "usage: tarvelctl [--dir DIR] [--lang english|russian] [--json] COMMAND [ARGS]\n"
           "       tarvelctl --help | --version\n"
           "commands:\n";
    for (const Command& c : commands()) {
        out << "  " << c.name << (*c.usage ? " " : "") << c.usage << '\n';
    }
    out << "serve starts the folder's due backups every minute until SIGTERM or SIGINT; at its\n"
           "start it makes up those missed since the last checked minute (tvl.state) when at\n"
           "most --catch-up minutes old (0 to 180, by default 180; 0 makes up none). It\n"
           "follows each started job's log on its server (jobs.jnl) and logs its end: a line\n"
           "holding --success TEXT (\"Backup completed successfully\") or --failure TEXT\n"
           "(\"Backup failed\"); no end line within --bound HOURS (24) makes it unknown.\n"
           "Without these options serve reads them as the desktop program does, from\n"
           "--settings FILE (by default ~/.config/Tarvel/tarvel.ini: [Scheduler]\n"
           "catchUpMinutes, [Jobs] successPattern, failurePattern, boundHours).\n"
           "history shows every planned start of the days FROM..TO (by default the last 7\n"
           "days) beside what became of it: completed, failed, unknown, running, missed.\n";
    out << "--json (before or after the command) prints one JSON document for:";
    for (const char* name : kJsonCommands) {
        out << ' ' << name;
    }
    out << '\n';
}

// The commands that read the task file themselves once their arguments are checked.
constexpr const char* kLateTaskCommands[] = {"due", "expected", "history", "list"};

bool named(const std::string& command, const auto& names) {
    for (const char* name : names) {
        if (command == name) {
            return true;
        }
    }
    return false;
}

std::string programDir(const char* argv0) {
    std::string exe(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size());
    exe = n > 0 ? exe.substr(0, static_cast<std::size_t>(n)) : std::string(argv0);
    const std::size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
}

// Tests set TVL_FAKE_NOW=YYYY-MM-DDTHH:MM to fix the tool's idea of the current minute.
class FixedClock final : public Clock {
public:
    explicit FixedClock(std::time_t t) : m_t(t) {}
    std::time_t now() const override { return m_t; }

private:
    std::time_t m_t;
};

bool fakeNow(std::time_t& out) {
    const char* text = std::getenv("TVL_FAKE_NOW");
    if (text == nullptr || std::strlen(text) != 16) {
        return false;
    }
    CivilDate d;
    if (!parseIsoDate(std::string(text, 10), d) || text[10] != 'T') {
        return false;
    }
    LocalDateTime t{d, std::atoi(text + 11), std::atoi(text + 14), 0};
    std::tm tm = toTm(t);
    out = std::mktime(&tm);
    return out != static_cast<std::time_t>(-1);
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");

    Context ctx;
    ctx.out = &std::cout;
    ctx.err = &std::cerr;
    ctx.programDir = programDir(argv[0]);
    std::string dir = ".";

    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (a == "--lang" && i + 1 < argc) {
            ctx.language = argv[++i];
            if (ctx.language != "english" && ctx.language != "russian") {
                std::cerr << "tarvelctl: --lang takes english or russian\n";
                printUsage(std::cerr);
                return kExitUsage;
            }
        } else if (a == "--json") {
            ctx.json = true;
        } else if (a == "--help" || a == "-h") {
            printUsage(std::cout);
            return kExitOk;
        } else if (a == "--version") {
            std::cout << versionLine("tarvelctl");
            return kExitOk;
        } else {
            break;
        }
    }
    if (i >= argc) {
        printUsage(std::cerr);
        return kExitUsage;
    }
    const std::string name = argv[i];
    const Command* command = nullptr;
    for (const Command& c : commands()) {
        if (name == c.name) {
            command = &c;
        }
    }
    if (command == nullptr) {
        std::cerr << "tarvelctl: unknown command \"" << name << "\"\n";
        printUsage(std::cerr);
        return kExitUsage;
    }
    std::vector<std::string> args;
    for (int k = i + 1; k < argc; ++k) {
        if (std::string(argv[k]) == "--json" && named(name, kJsonCommands)) {
            ctx.json = true;
        } else {
            args.emplace_back(argv[k]);
        }
    }
    if (ctx.json && !named(name, kJsonCommands)) {
        return usageError(ctx, *command, "--json is not taken by this command");
    }

    // Like the desktop program, the tool works on bare file names in its working directory.
    if (::chdir(dir.c_str()) != 0) {
        std::cerr << "tarvelctl: cannot enter directory " << dir << ": " << std::strerror(errno)
                  << '\n';
        return kExitFailure;
    }
    const bool russian = ctx.language == "russian";
    if (!ctx.messages.load(russian ? kRussianTable : kEnglishTable)) {
        std::cerr << tableReadErrorText(russian) << '\n';
        return kExitFailure;
    }
    if (!named(name, kLateTaskCommands) && !loadTaskList(ctx)) {
        return kExitFailure;
    }

    std::time_t fixed = 0;
    const bool useFake = fakeNow(fixed);
    FixedClock fake(fixed);
    ctx.clock = useFake ? static_cast<const Clock*>(&fake) : &systemClock();

    return command->run(ctx, args);
}
