#include "core/selectormodel.h"

#include <gtest/gtest.h>

using tvl::SelectorModel;

namespace {

TEST(SelectorModel, IndicesFollowAnEntryThatMovesOrLeaves) {
    struct Case {
        int from, to, index, moved;
    };
    // Entries 0..4; the saved entry goes before hidden lines or further down.
    const Case moves[] = {
        {3, 1, 3, 1}, {3, 1, 1, 2}, {3, 1, 2, 3}, {3, 1, 0, 0}, {3, 1, 4, 4}, {1, 3, 1, 3},
        {1, 3, 2, 1}, {1, 3, 3, 2}, {1, 3, 0, 0}, {1, 3, 4, 4}, {2, 2, 2, 2}, {2, 0, -1, -1},
    };
    for (const Case& c : moves) {
        EXPECT_EQ(SelectorModel::followMove(c.index, c.from, c.to), c.moved)
            << c.from << "->" << c.to << " index " << c.index;
    }
    struct Removal {
        int removed, index, after;
    };
    const Removal removals[] = {{2, 2, -1}, {2, 1, 1}, {2, 3, 2}, {0, -1, -1}};
    for (const Removal& r : removals) {
        EXPECT_EQ(SelectorModel::followRemoval(r.index, r.removed), r.after)
            << "removed " << r.removed << " index " << r.index;
    }
}

TEST(SelectorModel, ASaveAtTheQuestionKeepsThePickedTaskWhileThePendingOneMoves) {
    SelectorModel model;
    model.setPending(4);  // a new task at the end, saved before two hidden lines
    model.remember(2);    // the task the user picked meanwhile
    const int current = model.moveEntry(4, 2, 2);
    EXPECT_EQ(current, 3);
    EXPECT_EQ(model.pending(), 2);
    EXPECT_EQ(model.takeRemembered(), 3);
    EXPECT_FALSE(model.remembered().has_value());
    EXPECT_EQ(model.takeRemembered(), -1);
}

TEST(SelectorModel, ANewTaskDroppedUnsavedTakesItsPendingStateAlong) {
    SelectorModel model;
    model.setPending(3);
    model.remember(1);
    EXPECT_TRUE(model.editsOnScreen());
    EXPECT_EQ(model.removeEntry(3, 3), -1);
    EXPECT_FALSE(model.hasPending());
    EXPECT_EQ(model.takeRemembered(), 1);

    model.setRefusedEdits(true);
    EXPECT_TRUE(model.editsOnScreen());
    model.setPending(-7);
    EXPECT_EQ(model.pending(), -1);
}

}  // namespace
