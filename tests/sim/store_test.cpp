#include <gtest/gtest.h>

#include <filesystem>

#include "sim/globalstore.h"
#include "sim/nodetree.h"
#include "simtest.h"

using namespace tvl::sim;

namespace {

NodeTree sample() {
    NodeTree t;
    t.set({"SYS", "UCI", "/srv/db/b/"}, "");
    t.set({"SYS", "UCI", "/srv/db/a/"}, "");
    t.set({"SYS", "UCI", "10"}, "ten");
    t.set({"SYS", "UCI", "9"}, "nine");
    t.set({"SYS", "UCI", "/srv/db/a/", "X"}, "deep");
    t.set({"SYS"}, "root");
    t.set({"SYS", "BACKUPCHUI", "DIRECTORIES", "/x/"}, "");
    return t;
}

}  // namespace

TEST(NodeTree, OrderWalksSiblingsInCollationOrderBothWays) {
    NodeTree t = sample();
    std::vector<std::string> forward;
    for (std::string s = t.order({"SYS", "UCI", ""}, true); !s.empty();
         s = t.order({"SYS", "UCI", s}, true)) {
        forward.push_back(s);
    }
    EXPECT_EQ(forward, (std::vector<std::string>{"9", "10", "/srv/db/a/", "/srv/db/b/"}));
    std::vector<std::string> backward;
    for (std::string s = t.order({"SYS", "UCI", ""}, false); !s.empty();
         s = t.order({"SYS", "UCI", s}, false)) {
        backward.push_back(s);
    }
    EXPECT_EQ(backward, (std::vector<std::string>{"/srv/db/b/", "/srv/db/a/", "10", "9"}));
    // A subscript that is not there still finds its neighbours.
    EXPECT_EQ(t.order({"SYS", "UCI", "/srv/db/aa"}, true), "/srv/db/b/");
    EXPECT_EQ(t.order({"SYS", "UCI", "/srv/db/aa"}, false), "/srv/db/a/");
    // The descendants of a sibling are skipped, the level above is not left.
    EXPECT_EQ(t.order({"SYS", "BACKUPCHUI"}, true), "UCI");
    EXPECT_EQ(t.order({"SYS", "UCI"}, true), "");
    EXPECT_EQ(t.order({"SYS", "NONE", ""}, true), "");
    EXPECT_EQ(t.children({"SYS", "BACKUPCHUI", "DIRECTORIES"}), (std::vector<std::string>{"/x/"}));
}

TEST(NodeTree, KillRemovesTheWholeSubtreeOnly) {
    NodeTree t = sample();
    EXPECT_EQ(t.data({"SYS", "UCI", "/srv/db/a/"}), 11);
    EXPECT_EQ(t.data({"SYS", "UCI"}), 10);
    EXPECT_EQ(t.data({"SYS", "UCI", "9"}), 1);
    EXPECT_EQ(t.data({"SYS", "NONE"}), 0);
    EXPECT_EQ(t.kill({"SYS", "UCI", "/srv/db/a/"}), 2u);
    EXPECT_EQ(t.data({"SYS", "UCI", "/srv/db/a/"}), 0);
    EXPECT_EQ(t.get({"SYS", "UCI", "/srv/db/b/"}), "");
    EXPECT_EQ(t.kill({"SYS", "UCI"}), 3u);
    EXPECT_EQ(t.get({"SYS"}), "root");
    EXPECT_EQ(t.order({"SYS", ""}, true), "BACKUPCHUI");
    EXPECT_EQ(t.kill({"SYS"}), 2u);
    EXPECT_EQ(t.size(), 0u);
}

TEST(GlobalStore, FileRoundTripKeepsEveryByte) {
    NodeTree t = sample();
    std::string odd("a\nb:c\0d\"e", 9);
    t.set({"G", odd}, odd);
    t.set({"G", "12:3"}, std::string(70000, 'v'));
    NodeTree back = GlobalStore::deserialize(GlobalStore::serialize(t));
    EXPECT_EQ(back.nodes(), t.nodes());
}

TEST(GlobalStore, EveryTruncatedOrDamagedFileIsRefused) {
    NodeTree t = sample();
    std::string bytes = GlobalStore::serialize(t);
    for (std::size_t len = 0; len < bytes.size(); ++len) {
        EXPECT_THROW(GlobalStore::deserialize(bytes.substr(0, len)), StoreError) << len;
    }
    std::string extra = bytes + "x";
    EXPECT_THROW(GlobalStore::deserialize(extra), StoreError);
    std::string wrongCount = bytes;
    wrongCount[wrongCount.size() - 2] = '9';
    EXPECT_THROW(GlobalStore::deserialize(wrongCount), StoreError);
}

TEST(GlobalStore, ChangesSurviveInTheFileOnlyAfterFlush) {
    simtest::TempDir dir;
    auto file = dir / "USER.globals";
    {
        GlobalStore s(file);
        s.set({"A", "1"}, "one");
        s.set({"A", "2"}, "two");
        s.kill({"A", "1"});
        s.flush();
        s.set({"A", "3"}, "not flushed");
    }
    GlobalStore again(file);
    EXPECT_EQ(again.get({"A", "2"}), "two");
    EXPECT_FALSE(again.get({"A", "1"}));
    EXPECT_FALSE(again.get({"A", "3"}));
    // No temporary file is left beside the store.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(GlobalStore, DamagedFileStopsTheLoadInsteadOfStartingEmpty) {
    simtest::TempDir dir;
    auto file = dir / "USER.globals";
    simtest::writeFile(file, "cachesim-globals 1\n3:1:A1:");
    EXPECT_THROW(GlobalStore{file}, StoreError);
}
