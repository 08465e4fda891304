#include "server/controlloader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "fakes/scriptedserver.h"
#include "server/vismcontrol.h"
#include "util/tempdir.h"

using namespace tvl;

namespace {

// The library variable is the user's; each test sets it as it needs and puts it back.
class LibraryVariable {
public:
    LibraryVariable() {
        if (const char* v = std::getenv("TVL_VISM_LIBRARY")) {
            m_had = true;
            m_old = v;
        }
        ::unsetenv("TVL_VISM_LIBRARY");
    }
    ~LibraryVariable() {
        if (m_had) {
            ::setenv("TVL_VISM_LIBRARY", m_old.c_str(), 1);
        } else {
            ::unsetenv("TVL_VISM_LIBRARY");
        }
    }
    void set(const std::string& v) { ::setenv("TVL_VISM_LIBRARY", v.c_str(), 1); }

private:
    bool m_had = false;
    std::string m_old;
};

}  // namespace

TEST(ControlLoader, FindsTheLibraryBesideTheProgramAndItsControlTalksToAServer) {
    LibraryVariable env;
    std::string why;
    EXPECT_TRUE(controlLibraryAvailable(TVL_BIN_DIR, &why)) << why;
    auto control = loadControl(TVL_BIN_DIR, &why);
    ASSERT_TRUE(control) << why;

    test::ScriptedServer server([](const wire::Request& r) { return test::ok("got " + r.code); });
    int errors = 0;
    control->setOnError([&errors] { ++errors; });
    connectServer(*control, "127.0.0.1", server.portText());
    EXPECT_EQ(evaluate(*control, "$zv"), "got $zv");
    disconnectServer(*control);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(server.streams().at(0), "EXEC 3 0 0 0 0 0 0 0 0 0 0\n$zv");
}

TEST(ControlLoader, TheVariableNamesTheLibraryInstead) {
    LibraryVariable env;
    test::TempDir empty;
    env.set(std::string(TVL_BIN_DIR) + "/libvism.so");
    EXPECT_TRUE(controlLibraryAvailable(empty.path()));

    // Named but missing: the library beside the program is not taken in its place.
    env.set(empty.file("libvism.so"));
    std::string why;
    EXPECT_FALSE(controlLibraryAvailable(TVL_BIN_DIR, &why));
    EXPECT_NE(why.find(empty.file("libvism.so")), std::string::npos) << why;
    EXPECT_FALSE(loadControl(TVL_BIN_DIR));
}

TEST(ControlLoader, RefusesFilesThatAreNoControlOfThisProgram) {
    LibraryVariable env;
    test::TempDir dir;
    std::string why;

    // Nothing beside the program and nothing where the linker looks, or a file there that
    // is no library. Checked in a fresh process: once this one has loaded the control, the
    // dynamic linker would hand it out again by its bare name.
    test::writeFile(dir.file("libvism.so"), "not a library");
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::string reason;
            const bool found = controlLibraryAvailable(dir.path(), &reason);
            std::exit(!found && reason.find("libvism.so") != std::string::npos ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");

    env.set(TVL_FOREIGN_LIBRARY);
    EXPECT_FALSE(controlLibraryAvailable(dir.path(), &why));
    EXPECT_NE(why.find("no entry point"), std::string::npos) << why;

    env.set(TVL_OTHER_ABI_LIBRARY);
    EXPECT_FALSE(loadControl(dir.path(), &why));
    EXPECT_NE(why.find("version 99"), std::string::npos) << why;
}

TEST(ControlLoader, FindsTheLibraryWhereThePackagePutsIt) {
    LibraryVariable env;
    // The installed layout: the programs in <root>/bin, the control in <root>/lib/tarvel.
    // Checked in a fresh process, for the reason above.
    test::TempDir root;
    std::filesystem::create_directories(root.file("bin"));
    std::filesystem::create_directories(root.file("lib/tarvel"));
    test::copyFile(std::string(TVL_BIN_DIR) + "/libvism.so", root.file("lib/tarvel/libvism.so"));
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::string reason;
            std::exit(loadControl(root.file("bin"), &reason) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");

    // The variable still wins over the installed library.
    env.set(TVL_FOREIGN_LIBRARY);
    std::string why;
    EXPECT_FALSE(controlLibraryAvailable(root.file("bin"), &why));
    EXPECT_NE(why.find("no entry point"), std::string::npos) << why;
}

TEST(ControlLoader, ProgramDirectoryIsTheFolderOfTheRunningFile) {
    const std::string dir = programDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.front(), '/');
    EXPECT_TRUE(test::fileExists(dir + "/tvl_server_tests"));
}
