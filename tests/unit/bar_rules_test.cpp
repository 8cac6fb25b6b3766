// The rules behind the bars: the toolbar layout line, the status bar's parts and texts, the
// width a path field gets and the drawn image size taken for a display scale.
#include "app/status_bar.h"
#include "app/window_layout.h"
#include "bars/main_toolbar.h"
#include "base/display_scale.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A layout as image indices, -1 for a separator.
std::vector<int> Images(const std::vector<TBBUTTON>& layout) {
    std::vector<int> images;
    for (const TBBUTTON& button : layout) {
        images.push_back((button.fsStyle & BTNS_SEP) ? -1 : button.iBitmap);
    }
    return images;
}

struct LayoutCase {
    const wchar_t* line;
    std::vector<int> images;
};

const wchar_t kDefaultLine[] =
    L"0,1,2,-1,3,4,5,6,7,8,9,10,-1,11,12,-1,13,14,15,16,17,18,19,20,21,22,-1,23,24,25,26,-1,"
    L"27,28,29,30,-1,31,-1,32,-1,33,34";

}  // namespace

TEST(ToolbarLayoutLine, FieldsBecomeButtonsSeparatorsOrNothing) {
    const LayoutCase cases[] = {
        {L"5,-1,5,0,99,-1", {5, -1, 0, -1}},  // repeats and numbers past the catalogue drop
        {L"1", {1}},
        {L"", {0}},    // one field without digits: the download button
        {L"\n", {0}},  // a line end only, likewise
        {L"3,4,", {3, 4, 0}},
        {L" 7,+8,-0,x,12abc,-7", {7, 8, 0, 12, -1}},  // read as the runtime reads numbers
        {L"35,34", {34}},  // the separator marker never reaches the toolbar
    };
    for (const LayoutCase& c : cases) {
        EXPECT_EQ(Images(ParseToolbarLayout(c.line)), c.images) << c.line;
    }
}

TEST(ToolbarLayoutLine, StopButtonIsDisabledAndOthersEnabledWithTheirCommands) {
    std::vector<TBBUTTON> layout = ParseToolbarLayout(L"1,0,34");
    ASSERT_EQ(layout.size(), 3u);
    EXPECT_EQ(layout[0].fsState, 0);
    EXPECT_EQ(layout[0].idCommand, 2016);
    EXPECT_EQ(layout[1].fsState, TBSTATE_ENABLED);
    EXPECT_EQ(layout[1].idCommand, 1005);
    EXPECT_EQ(layout[2].idCommand, 1021);
    EXPECT_EQ(layout[2].fsStyle, BTNS_BUTTON);
}

TEST(ToolbarLayoutLine, AtMost256RecordsAreTaken) {
    std::wstring line = L"-1";
    for (int i = 1; i < 300; ++i) {
        line += L",-1";
    }
    EXPECT_EQ(ParseToolbarLayout(line).size(), 256u);
}

TEST(ToolbarLayoutLine, DefaultHolds43RecordsAndWritesBackToTheSameLine) {
    std::vector<TBBUTTON> layout = DefaultToolbarLayout();
    EXPECT_EQ(layout.size(), 43u);
    EXPECT_EQ(FormatToolbarLayout(layout), kDefaultLine);
    EXPECT_EQ(FormatToolbarLayout({}), L"");
}

TEST(StatusBarRules, TextsCarryIdeographicSpacesAndTheCounts) {
    const int perState[6] = {3, 0, 0, 0, 0, 1};
    auto texts = StatusBarTexts(4, perState);
    EXPECT_EQ(texts[0], L"　リスト項目数：4　");
    EXPECT_EQ(texts[1], L"　スタンバイ：3　");
    EXPECT_EQ(texts[2], L"　DL準備中：0　");
    EXPECT_EQ(texts[3], L"　DL中：0　");
    EXPECT_EQ(texts[4], L"　DL完了：0　");
    EXPECT_EQ(texts[5], L"　DL中断：0　");
    EXPECT_EQ(texts[6], L"　エラー：1　");
}

TEST(StatusBarRules, StatePartsGetTwentyMorePixelsAndTheFillerTheRest) {
    const std::array<int, 7> widths = {100, 10, 20, 30, 40, 50, 60};
    auto edges = StatusBarPartEdges(1000, widths);
    const std::array<int, 8> expected = {570, 670, 700, 740, 790, 850, 920, -1};
    EXPECT_EQ(edges, expected);
    // A narrower window moves every edge by the same amount: only the filler shrinks.
    auto narrow = StatusBarPartEdges(900, widths);
    for (int part = 0; part < 7; ++part) {
        EXPECT_EQ(narrow[part], expected[part] - 100) << part;
    }
}

TEST(PathFieldWidth, TakesWhatCaptionAndButtonsLeaveAndKeepsTheFieldsMargins) {
    // Four buttons of 31 pixels and a gap of 0 or 2 between them.
    EXPECT_EQ(FieldSeparatorWidth(800, 150, 4, 31, 0), 800 - 150 - 124);
    EXPECT_EQ(FieldSeparatorWidth(800, 150, 4, 31, 2), 800 - 150 - 124 - 10);
    EXPECT_EQ(FieldSeparatorWidth(800, 150, 1, 31, 2), 800 - 150 - 31 - 4);
    EXPECT_EQ(FieldSeparatorWidth(801, 150, 2, 31, 2) - FieldSeparatorWidth(800, 150, 2, 31, 2), 1);
    EXPECT_EQ(FieldSeparatorWidth(200, 150, 4, 31, 2), 10);  // the field's margins only
}

// At the listed scales the image drawn for it; between them the next larger, scaled down;
// beyond the largest the largest, scaled up.
TEST(ImageSizeForScale, TakesTheSmallestDrawnSizeAsLargeOrTheLargest) {
    const int strips[] = {24, 36, 48};
    const int icons[] = {16, 24, 32, 48};
    const struct {
        const int* sizes;
        int count;
        int wanted;
        int drawn;
    } cases[] = {
        {strips, 3, 24, 24}, {strips, 3, 30, 36}, {strips, 3, 36, 36}, {strips, 3, 42, 48},
        {strips, 3, 48, 48}, {strips, 3, 72, 48}, {icons, 4, 14, 16},  {icons, 4, 21, 24},
        {icons, 4, 28, 32},  {icons, 4, 40, 48},  {icons, 4, 64, 48},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ArtworkSizeFor(c.wanted, c.sizes, c.count), c.drawn) << c.wanted;
    }
}
