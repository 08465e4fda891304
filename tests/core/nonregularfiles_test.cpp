// A FIFO, a device, a directory or a huge file where the program expects its own plain
// files: each must be refused at once, never waited on or read without end.
#include <gtest/gtest.h>

#include "core/activitylog.h"
#include "core/messagetable.h"
#include "core/taskfile.h"
#include "util/tempdir.h"

using namespace tvl;
using test::SpecialFile;

TEST(SpecialFiles, TaskFileCountsAsUnreadable) {
    test::TempDir dir;
    const std::string path = dir.file("task.txt");
    for (const SpecialFile kind : test::kSpecialFiles) {
        SCOPED_TRACE(test::specialFileName(kind));
        test::plantSpecialFile(kind, path, kMaxTextFileBytes);
        const TaskFileLoad r = loadTasks(path);
        EXPECT_EQ(r.status, TaskFileLoad::Status::CannotRead);
        EXPECT_EQ(r.problem,
                  kind == SpecialFile::Oversized ? FileProblem::TooLarge : FileProblem::NotRegular);
    }
    // Short lines would cost the list many times their bytes.
    std::string lines;
    for (std::size_t i = 0; i <= kMaxTextFileLines; ++i) {
        lines += "\x01\n";
    }
    test::writeFile(path, lines);
    EXPECT_EQ(loadTasks(path).problem, FileProblem::TooLarge);
    lines.resize(lines.size() - 2);
    test::writeFile(path, lines);
    EXPECT_TRUE(loadTasks(path).ok());
}

TEST(SpecialFiles, MessageTableKeepsItsTextAndSaysNo) {
    test::TempDir dir;
    const std::string path = dir.file("english.dat");
    MessageTable table;
    table.setText("bust=Started\n");
    for (const SpecialFile kind : test::kSpecialFiles) {
        SCOPED_TRACE(test::specialFileName(kind));
        test::plantSpecialFile(kind, path, kMaxTextFileBytes);
        EXPECT_FALSE(table.load(path));
        EXPECT_EQ(table.lookup("bust"), "Started");
    }
}

TEST(SpecialFiles, ActivityLogStaysOff) {
    test::TempDir dir;
    const std::string path = dir.file("tvl.log");
    for (const SpecialFile kind :
         {SpecialFile::Fifo, SpecialFile::DevZero, SpecialFile::Directory}) {
        SCOPED_TRACE(test::specialFileName(kind));
        test::plantSpecialFile(kind, path);
        ActivityLog log(path);
        EXPECT_FALSE(log.writeStart("Program started"));
        EXPECT_FALSE(log.enabled());
    }
}
