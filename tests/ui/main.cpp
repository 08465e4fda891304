#include <cstdlib>
#include <filesystem>

#include <unistd.h>

#include <gtest/gtest.h>

#include "ui/application.h"
#include "ui/messagebox.h"

// Every test process runs the windows offscreen with a runtime directory of its own, so
// tests can run side by side.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string runtime = (std::filesystem::temp_directory_path() / "tvlui.XXXXXX").string();
    if (::mkdtemp(runtime.data()) != nullptr) {
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    tvl::ui::Application app(argc, argv);
    tvl::ui::MessageBox::setTestMode(true);
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(runtime, ec);
    return rc;
}
