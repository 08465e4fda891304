// Speed of cachesim's backup jobs beside the floor of doing the same with the system's tools:
// a Full of many small files against `tar -cf` followed by an fsync of the archive, an
// Incremental that finds nothing changed against `find -newer`, and a Full of a few large
// files against tar again. Every case reads files the page cache holds, as the tools do.
//
// TVL_SIM_BENCH_DIR picks the folder to work in (default: the system's temporary folder);
// TVL_SIM_BENCH_BIG_MB the size of the large-file case (default 256).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/backup.h"
#include "sim/globalstore.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace tvl::sim;

fs::path workRoot() {
    const char* dir = std::getenv("TVL_SIM_BENCH_DIR");
    return dir ? fs::path(dir) : fs::temp_directory_path();
}

// A database folder of `dirs` folders of `perDir` files of `size` bytes each, made once.
struct Database {
    fs::path root;
    fs::path db;
    Database(const std::string& name, int dirs, int perDir, std::size_t size) {
        root = workRoot() / ("tvl-sim-bench-" + name + "-" + std::to_string(::getpid()));
        db = root / "db";
        std::string content(size, 'd');
        for (int d = 0; d < dirs; ++d) {
            fs::path sub = db / ("d" + std::to_string(d));
            fs::create_directories(sub);
            for (int f = 0; f < perDir; ++f) {
                content[0] = static_cast<char>('a' + f % 26);
                std::ofstream(sub / ("f" + std::to_string(f) + ".dat"), std::ios::binary)
                    << content;
            }
        }
        fs::create_directories(root / "out");
        // Files dated well before any job, so an Incremental finds nothing changed.
        ::utimensat(AT_FDCWD, db.c_str(), nullptr, 0);
        for (const auto& e : fs::recursive_directory_iterator(db)) {
            timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
            ::utimensat(AT_FDCWD, e.path().c_str(), old, AT_SYMLINK_NOFOLLOW);
        }
    }
    ~Database() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

Database& smallFiles() {
    static Database db("small", 100, 100, 4096);  // 10,000 files of 4 KiB
    return db;
}

Database& bigFiles() {
    const char* mb = std::getenv("TVL_SIM_BENCH_BIG_MB");
    static Database db("big", 1, 4, (mb ? std::stoul(mb) : 256) * (1u << 20) / 4);
    return db;
}

// Runs a program to its end with its output thrown away.
void runTool(std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (rc != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) > 1) {  // find and tar say 1 for files that changed meanwhile
        throw std::runtime_error("running " + args[0] + " failed");
    }
}

void syncFile(const fs::path& p) {
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    ::fsync(fd);
    ::close(fd);
}

void tarAndSync(benchmark::State& state, Database& db) {
    fs::path out = db.root / "out/tar.tar";
    for (auto _ : state) {
        runTool({"tar", "-cf", out.string(), db.db.string()});
        syncFile(out);
    }
    fs::remove(out);
}

// A whole job as the server runs it: the history recorded before and after in a store of its
// own, the log, the archive, every fsync.
struct Jobs {
    Database& db;
    std::unique_ptr<GlobalStore> sys;
    std::unique_ptr<BackupManager> manager;
    std::string canon;

    explicit Jobs(Database& d) : db(d) {
        fs::remove_all(db.root / "data");
        fs::create_directories(db.root / "data");
        sys = std::make_unique<GlobalStore>(db.root / "data/%SYS.globals");
        manager = std::make_unique<BackupManager>(*sys, [](const std::string&) {});
        canon = canonicalDirectory(db.db.string());
        sys->set({"SYS", "UCI", canon}, "");
        sys->set({"SYS", "BACKUPCHUI", "DIRECTORIES", canon}, "");
        sys->flush();
    }
    void run(const std::string& type) {
        std::array<std::string, 10> p;
        p[1] = type;
        p[3] = (db.root / "out/job.bcp").string();
        p[5] = (db.root / "out/job.log").string();
        manager->start(p);
        manager->waitAll();
    }
};

void BM_Floor_TarFull_10000x4KiB(benchmark::State& state) {
    tarAndSync(state, smallFiles());
}
BENCHMARK(BM_Floor_TarFull_10000x4KiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Cachesim_Full_10000x4KiB(benchmark::State& state) {
    Jobs jobs(smallFiles());
    for (auto _ : state) {
        jobs.run("F");
    }
}
BENCHMARK(BM_Cachesim_Full_10000x4KiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Floor_FindNewer_10000(benchmark::State& state) {
    Database& db = smallFiles();
    fs::path ref = db.root / "out/ref";
    std::ofstream(ref) << "";
    for (auto _ : state) {
        runTool({"find", db.db.string(), "-newer", ref.string()});
    }
}
BENCHMARK(BM_Floor_FindNewer_10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Cachesim_IncrementalNothingChanged_10000(benchmark::State& state) {
    Jobs jobs(smallFiles());
    jobs.run("F");  // the base: nothing changed since
    for (auto _ : state) {
        jobs.run("I");
    }
}
BENCHMARK(BM_Cachesim_IncrementalNothingChanged_10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Floor_TarFull_Big(benchmark::State& state) {
    tarAndSync(state, bigFiles());
}
BENCHMARK(BM_Floor_TarFull_Big)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_Cachesim_Full_Big(benchmark::State& state) {
    Jobs jobs(bigFiles());
    for (auto _ : state) {
        jobs.run("F");
    }
}
BENCHMARK(BM_Cachesim_Full_Big)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
