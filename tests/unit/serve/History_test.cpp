// Undo steps over whole documents: which edits make a step of their own and which join the
// gesture before them.
#include "serve/History.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvelle::serve {
namespace {

Document Numbered(double width) {
    ParamInfo info;
    info.key = "width";
    info.type = ParamType::FloatSlider;
    info.animatable = true;
    info.validMax = 1000.0;
    Keyframes keys({info});
    Keyframe key;
    key.value.number = width;
    keys.SetKey("width", key);
    StoredValue value{"width", ParamType::FloatSlider, {}};
    value.value.number = width;
    return Document{{value}, keys};
}

double WidthOf(const Document& document) {
    return document.values.at(0).value.number;
}

struct GroupingCase {
    const char* name;
    std::vector<uint32_t> groups;   // one edit each, in order; 0 for an edit of no gesture
    std::size_t steps;
};

const GroupingCase kGrouping[] = {
    {"separate_edits", {0, 0, 0}, 3},  {"one_slider_drag", {7, 7, 7, 7}, 1},
    {"two_drags", {7, 7, 8, 8}, 2},    {"same_group_after_another_edit", {7, 0, 7}, 3},
    {"drag_then_click", {7, 7, 0}, 2},
};

class HistoryGrouping : public ::testing::TestWithParam<GroupingCase> {};

TEST_P(HistoryGrouping, OneStepPerGesture) {
    History history(100);
    double width = 0.0;
    for (uint32_t group : GetParam().groups) {
        history.Remember(Numbered(width), group);
        width += 1.0;
    }
    EXPECT_EQ(GetParam().steps, history.UndoSteps());
}

INSTANTIATE_TEST_SUITE_P(Edits, HistoryGrouping, ::testing::ValuesIn(kGrouping), testing_support::CaseName());

// A gesture's step holds the document from before its first edit, and undo after it ends the
// group: the same group id afterwards starts a new step.
TEST(History, UndoGoesBackToBeforeTheGestureAndRedoForward) {
    History history(100);
    history.Remember(Numbered(10), 5);
    history.Remember(Numbered(11), 5);
    history.Remember(Numbered(12), 5);
    const std::optional<Document> back = history.Undo(Numbered(13));
    ASSERT_TRUE(back);
    EXPECT_EQ(10.0, WidthOf(*back));
    EXPECT_EQ(10.0, back->keys.Tracks().at(0).keys.at(0).value.number);
    EXPECT_FALSE(history.CanUndo());
    const std::optional<Document> forward = history.Redo(Numbered(10));
    ASSERT_TRUE(forward);
    EXPECT_EQ(13.0, WidthOf(*forward));
    EXPECT_FALSE(history.Redo(Numbered(13)));

    history.Remember(Numbered(13), 5);
    EXPECT_EQ(2u, history.UndoSteps());
    EXPECT_FALSE(history.CanRedo());
}

TEST(History, OldestStepsFallOff) {
    History history(3);
    for (int i = 0; i < 5; ++i) {
        history.Remember(Numbered(i));
    }
    EXPECT_EQ(3u, history.UndoSteps());
    std::optional<Document> last;
    while (const std::optional<Document> back = history.Undo(Numbered(99))) {
        last = back;
    }
    ASSERT_TRUE(last);
    EXPECT_EQ(2.0, WidthOf(*last));
}

}   // namespace
}   // namespace corvelle::serve
