#include "core/taskfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>

#include "core/fileio.h"
#include "core/minutewalk.h"
#include "core/schedulerstate.h"
#include "util/tempdir.h"

using namespace tvl;
using tvl::test::readFile;
using tvl::test::TempDir;
using tvl::test::writeFile;

TEST(TaskFileText, LineEndsAndNul) {
    EXPECT_EQ(splitTextLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(splitTextLines("a\r\n"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(splitTextLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(splitTextLines("a\n\rb"), (std::vector<std::string>{"a", "", "b"}))
        << "LF CR is two breaks";
    EXPECT_EQ(splitTextLines(std::string("a\r\nb\0c\r\nd", 9)),
              (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(splitTextLines("").empty());
}

TEST(TaskFileLoadTest, MissingFileIsCreatedEmpty) {
    TempDir dir;
    const TaskFileLoad r = loadTasks(dir.file("task.txt"));
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.lines.empty());
    EXPECT_TRUE(test::fileExists(dir.file("task.txt")));
    EXPECT_EQ(readFile(dir.file("task.txt")), "");
}

// A read that keeps each line's separators reads the same lines.
const TaskFileRead kReads[] = {{}, {.separators = true}};

TEST(TaskFileLoadTest, SelectorStopsAtTheFirstHiddenLine) {
    TempDir dir;
    test::copyFile(test::fixture("hidden-after-mixed-line-ends.txt"), dir.file("task.txt"));
    for (const TaskFileRead& how : kReads) {
        const TaskFileLoad r = loadTasks(dir.file("task.txt"), how);
        ASSERT_TRUE(r.ok()) << "an empty line after the first hidden line is not walked";
        EXPECT_EQ(r.lines.size(), 5u);
        // A line without 0x01 names no task: its entry is empty, not the whole line.
        std::vector<std::string_view> names;
        EXPECT_TRUE(selectorNames(r.lines, names));
        EXPECT_EQ(names, (std::vector<std::string_view>{"A", ""}));
        EXPECT_EQ(savedTaskCount(r.lines), 2u);
    }
}

TEST(TaskFileLoadTest, EmptyLineBeforeHiddenLinesFails) {
    TempDir dir;
    for (const TaskFileRead& how : kReads) {
        test::copyFile(test::fixture("broken-empty-line.txt"), dir.file("task.txt"));
        EXPECT_EQ(loadTasks(dir.file("task.txt"), how).status, TaskFileLoad::Status::EmptyLine);
        writeFile(dir.file("task.txt"), "\nA\x01x");
        EXPECT_EQ(loadTasks(dir.file("task.txt"), how).status, TaskFileLoad::Status::EmptyLine);
    }
}

TEST(TaskFileLoadTest, UnreadableFileFails) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("task.txt"));
    for (const TaskFileRead& how : kReads) {
        EXPECT_EQ(loadTasks(dir.file("task.txt"), how).status, TaskFileLoad::Status::CannotRead);
        EXPECT_EQ(loadTasks(dir.file("nodir/task.txt"), how).status,
                  TaskFileLoad::Status::CannotCreate);
    }
}

// A file is read whole whatever its size: below, at and across the size from which it is
// read into huge pages, and a file whose size says nothing (a file of /proc grows while it
// is read).
TEST(TaskFileLoadTest, ReadsTheWholeFileAtEverySize) {
    TempDir dir;
    const std::string path = dir.file("task.txt");
    for (const std::size_t size :
         {std::size_t{1}, kBigBlock - 1, kBigBlock, 2 * kBigBlock + 3, 5 * kBigBlock + 17}) {
        std::string text;
        for (std::size_t i = 0; text.size() < size; ++i) {
            text += "T" + std::to_string(i) + "\x01x\r\n";
        }
        text.resize(size);
        writeFile(path, text);
        const TaskFileLoad r = readTasks(path);
        ASSERT_TRUE(r.ok()) << size;
        EXPECT_EQ(r.lines, splitTextLines(text)) << size;
    }
    std::shared_ptr<const void> block;
    std::string_view text;
    ASSERT_TRUE(readRegularFile("/proc/self/status", block, text));
    EXPECT_EQ(text.substr(0, 5), "Name:");
    EXPECT_NE(text.find("\nVmRSS:"), std::string_view::npos) << "read to its end";
}

// The lines read stay what was read when a save replaces the file, as long as they are
// used; the next read finds the new file.
TEST(TaskFileLoadTest, LinesOutliveTheFileASaveReplaces) {
    TempDir dir;
    const std::string path = dir.file("task.txt");
    writeFile(path, "A\x01one\r\nB\x01two\r\n");
    TaskFileLoad before = readTasks(path);
    ASSERT_TRUE(before.ok());
    const TaskList kept(std::move(before.lines));
    ASSERT_TRUE(saveTasks(path, TaskLines{"C\x01three"}));
    EXPECT_EQ(kept.lines(), (std::vector<std::string>{"A\x01one", "B\x01two"}));
    EXPECT_EQ(readTasks(path).lines, (std::vector<std::string>{"C\x01three"}));
    writeFile(path, "");
    const TaskFileLoad empty = readTasks(path);
    EXPECT_TRUE(empty.ok() && empty.lines.empty());
}

namespace {

// Names in the task file's folder that a save may have left: the task file's name and more.
std::vector<std::string> temporaries(const TempDir& dir, const std::string& file = "task.txt") {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        if (name.rfind(file + ".", 0) == 0) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(TaskFileSave, WritesCrLfAndReplacesWholeContent) {
    TempDir dir;
    const std::string path = dir.file("task.txt");
    writeFile(path, "old line that is much longer than the new content\n");
    ASSERT_TRUE(saveTasks(path, {"A\x01x", "\x01hidden"}));
    EXPECT_EQ(readFile(path), "A\x01x\r\n\x01hidden\r\n");
    ASSERT_TRUE(saveTasks(path, {}));
    EXPECT_EQ(readFile(path), "");
    EXPECT_TRUE(temporaries(dir).empty());
}

TEST(TaskFileSave, KeepsOwnerPermissionBitsAndFollowsSymbolicLinks) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("real"));
    const std::string real = dir.file("real/task.txt");
    writeFile(real, "old\r\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    // Only root may give a file to someone else, so only root can keep another owner.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(real.c_str(), 65534, 65534), 0);
    }
    const std::string link = dir.file("task.txt");
    ASSERT_EQ(::symlink("real/task.txt", link.c_str()), 0);

    ASSERT_TRUE(saveTasks(link, {"new"}));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    EXPECT_EQ(readFile(real), "new\r\n");
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
}

// The task file and the scheduler's state file are replaced the same way.
TEST(TaskFileSave, NeverWritesThroughWhatIsPlantedBesideTheFile) {
    struct Case {
        const char* what;
        std::string suffix;  // planted beside the file
        std::function<void(const std::string& at, const std::string& victim)> plant;
        bool removed;  // a leftover of a crashed save goes
    };
    const auto regular = [](const std::string& at, const std::string&) { writeFile(at, "left"); };
    const auto hardLink = [](const std::string& at, const std::string& victim) {
        ASSERT_EQ(::link(victim.c_str(), at.c_str()), 0);
    };
    const std::vector<Case> cases = {
        {"hard link at the old fixed name", ".tmp", hardLink, false},
        {"symbolic link", ".tmp",
         [](const std::string& at, const std::string& victim) {
             ASSERT_EQ(::symlink(victim.c_str(), at.c_str()), 0);
         },
         false},
        {"directory", ".tmp",
         [](const std::string& at, const std::string&) { std::filesystem::create_directory(at); },
         false},
        {"leftover at the old fixed name", ".tmp", regular, true},
        {"leftover of a crashed save", ".tmp.Ab3dE6gH", regular, true},
        {"hard link at a save's name", ".tmp.Ab3dE6gH", hardLink, false},
        {"file of another name", ".tmp.mine", regular, false},
    };
    struct Writer {
        std::string file;
        std::function<bool(const std::string& path)> write;
        std::string written;
    };
    const ScheduleMark mark{civilMinute({{2026, 12, 7}, 9, 5, 0}), 2};
    const std::vector<Writer> writers = {
        {"task.txt", [](const std::string& path) { return saveTasks(path, {"new"}); }, "new\r\n"},
        {"tvl.state", [&](const std::string& path) { return writeState(path, mark); },
         stateText(mark)},
    };
    for (const Writer& w : writers) {
        for (const Case& c : cases) {
            SCOPED_TRACE(w.file + ": " + c.what);
            TempDir dir;
            const std::string path = dir.file(w.file);
            const std::string victim = dir.file("victim");
            writeFile(path, "old\r\n");
            writeFile(victim, "precious");
            c.plant(path + c.suffix, victim);
            ASSERT_TRUE(w.write(path));
            EXPECT_EQ(readFile(path), w.written);
            EXPECT_EQ(readFile(victim), "precious");
            EXPECT_EQ(temporaries(dir, w.file), c.removed
                                                    ? std::vector<std::string>{}
                                                    : std::vector<std::string>{w.file + c.suffix});
        }
    }
}

TEST(TaskFileSave, FailuresLeaveTheOldFileWhole) {
    TempDir dir;
    const std::string path = dir.file("task.txt");
    const std::string old = "A\x01x\r\nB\x01y\r\n";

    writeFile(path, old);

    // The disk fills after part of the text was written.
    int calls = 0;
    SaveSeams full;
    full.write = [&calls](int fd, const void* data, std::size_t size) -> ssize_t {
        if (calls++ == 0) {
            return ::write(fd, data, size < 3 ? size : 3);
        }
        errno = ENOSPC;
        return -1;
    };
    EXPECT_FALSE(saveTasks(path, {"a much longer new line"}, &full));
    EXPECT_EQ(readFile(path), old);
    EXPECT_TRUE(temporaries(dir).empty()) << "the partial copy is removed";

    // The rename fails.
    SaveSeams noRename;
    noRename.rename = [](const char*, const char*) {
        errno = EXDEV;
        return -1;
    };
    EXPECT_FALSE(saveTasks(path, {"new"}, &noRename));
    EXPECT_EQ(readFile(path), old);
    EXPECT_TRUE(temporaries(dir).empty());

    // No folder to put the temporary file in.
    EXPECT_FALSE(saveTasks(dir.file("nodir/task.txt"), {"new"}));
}

TEST(TaskListTest, NewTasksGoBeforeHiddenLinesAndNeverOverwriteThem) {
    TaskList list({"A\x01", "B\x01", "\x01hidden1", "\x01hidden2"});
    EXPECT_EQ(list.savedCount(), 2u);
    EXPECT_TRUE(list.ownsLine(1));
    EXPECT_FALSE(list.ownsLine(2)) << "entry 2 is a new task, not the hidden line";

    EXPECT_EQ(list.store(1, "B2\x01"), 1u);
    EXPECT_EQ(list.store(2, "C\x01"), 2u);
    // A second unsaved entry past the first one lands right after the saved tasks too.
    EXPECT_EQ(list.store(5, "D\x01"), 3u);
    EXPECT_EQ(list.lines(), (std::vector<std::string>{"A\x01", "B2\x01", "C\x01", "D\x01",
                                                      "\x01hidden1", "\x01hidden2"}));

    EXPECT_FALSE(list.remove(4)) << "an entry without a line deletes nothing";
    EXPECT_TRUE(list.remove(0));
    EXPECT_EQ(list.size(), 5u);
    EXPECT_EQ(list.line(3), "\x01hidden1");
}
