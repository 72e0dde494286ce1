// Every control's rectangle in each mode and view, checked against the layout
// table written out by hand, so the generated art and the placement agree.

#include "ui/control_ids.h"
#include "ui/player_window.h"

#include <QApplication>
#include <QMenuBar>
#include <gtest/gtest.h>

#include <cstdlib>

namespace lumetra::ui {
namespace {

struct Expected {
    int id;
    QRect player, radio; // view 0; an empty rect means width 0
};

// x, y from the table; sizes are the cell sizes of the skin.
const Expected kTable[] = {
    {kPlay, {147, 54, 32, 24}, {}},
    {kPause, {211, 54, 32, 24}, {}},
    {kStop, {179, 54, 32, 24}, {170, 53, 43, 26}},
    {kFbwd, {113, 54, 34, 24}, {110, 53, 60, 26}},
    {kFfwd, {243, 54, 34, 24}, {213, 53, 60, 26}},
    {kAdd, {11, 273, 60, 22}, {11, 273, 60, 22}},
    {kMute, {292, 66, 50, 18}, {292, 66, 50, 18}},
    {kShuffle, {2, 67, 50, 18}, {}},
    {kRepeat, {53, 67, 50, 18}, {}},
    {kView, {305, 88, 44, 20}, {305, 88, 44, 20}},
    {kKnob, {285, 7, 56, 56}, {285, 7, 56, 56}},
    {kModePanel, {14, 125, 247, 13}, {14, 125, 247, 13}},
    {kPlayModeLamp, {49, 10, 30, 8}, {49, 10, 30, 8}},
    {kStateLamp, {31, 45, 13, 18}, {41, 45, 13, 18}},
    {kLevelMeter, {11, 23, 14, 34}, {11, 23, 14, 34}},
    {kTrackTens, {74, 23, 11, 18}, {}},
    {kTrackUnits, {85, 23, 11, 18}, {}},
    {kSecondsTens, {74, 45, 11, 18}, {74, 45, 11, 18}},
    {kSecondsUnits, {85, 45, 11, 18}, {85, 45, 11, 18}},
    {kMinutesTens, {44, 45, 11, 18}, {52, 45, 11, 18}},
    {kMinutesUnits, {55, 45, 11, 18}, {63, 45, 11, 18}},
    {kPositionBar, {109, 32, 169, 12}, {109, 32, 169, 12}},
    {kStatusText, {109, 9, 169, 16}, {109, 9, 169, 16}},
    {kScreen, {}, {}},
    {kWebLink, {}, {}},
    {kMp3Button, {}, {}},
    {kTrackRadio, {28, 18, 44, 9}, {28, 18, 44, 9}},
    {kModeMp3, {56, 88, 16, 16}, {56, 88, 16, 16}},
    {kModeRadio, {6, 88, 16, 16}, {6, 88, 16, 16}},
    {kDelete, {74, 273, 60, 22}, {}},
    {kMoveUp, {138, 273, 60, 22}, {}},
    {kMoveDown, {203, 273, 60, 22}, {203, 273, 60, 22}},
    {kLibrary, {272, 171, 76, 22}, {}},
    {kPlaylist, {272, 147, 76, 22}, {272, 147, 76, 22}},
    {kInfo, {272, 123, 76, 22}, {272, 123, 76, 22}},
    {kLink, {272, 195, 76, 22}, {}},
    {kRadioButton, {269, 237, 80, 22}, {269, 237, 80, 22}},
};

// What other views change, as (mode, view, id, rect).
struct ViewCase {
    int mode, view, id;
    QRect rect;
};
const ViewCase kViews[] = {
    {0, kViewInfo, kScreen, {14, 138, 247, 128}},
    {0, kViewVersion, kScreen, {14, 138, 247, 128}},
    {1, kViewInfo, kScreen, {14, 138, 247, 128}},
    {1, kViewVersion, kScreen, {14, 138, 247, 128}},
    {0, kViewLibrary, kDelete, {137, 273, 128, 22}},
    {0, kViewLibrary, kShuffle, {}},
    {0, kViewLibrary, kRepeat, {}},
    {0, kViewLibrary, kMoveUp, {}},
    {0, kViewLibrary, kMoveDown, {}},
    {0, kViewInfo, kDelete, {}},
    {0, kViewInfo, kShuffle, {2, 67, 50, 18}},
    {0, kViewLinks, kDelete, {}},
    {1, kViewInfo, kDelete, {74, 273, 60, 22}},
    {1, kViewInfo, kMoveUp, {}},
    {1, kViewInfo, kMoveDown, {203, 273, 60, 22}},
    {1, kViewLibrary, kMoveDown, {203, 273, 60, 22}},
};

class WindowLayoutTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "window_layout_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance())
            new QApplication(argc, argv);
    }
};

// View 0's rectangle unless the view changes it: kViews, or hidden outside view 0.
QRect Want(const Expected& e, int mode, int view)
{
    for (const auto& v : kViews) {
        if (v.mode == mode && v.view == view && v.id == e.id)
            return v.rect;
    }
    bool hiddenElsewhere = e.id == kDelete || e.id == kMoveUp || e.id == kScreen || (e.id == kMoveDown && mode == 0);
    if (view != kViewList && hiddenElsewhere)
        return QRect();
    return mode == 0 ? e.player : e.radio;
}

QRect Placed(const PlayerWindow& window, int id)
{
    QWidget* w = window.ControlWidget(id);
    return w->width() == 0 ? QRect() : w->geometry();
}

TEST_F(WindowLayoutTest, EveryControlInEveryModeAndView)
{
    PlayerWindow window(engine::TheEngine(), false);
    ASSERT_TRUE(window.SkinComplete());
    EXPECT_EQ(window.windowTitle(), "Lumetra Media Player (tm)");
    EXPECT_EQ(window.Face()->size(), QSize(356, 305));
    EXPECT_EQ(window.size().height(), 305 + window.menuBar()->sizeHint().height());
    for (int mode : {0, 1}) {
        for (int view = 0; view <= 4; ++view) {
            window.SetMode(mode);
            window.SetView(view);
            for (const auto& e : kTable) {
                EXPECT_EQ(Placed(window, e.id), Want(e, mode, view))
                    << "control " << e.id << " mode " << mode << " view " << view;
            }
            // One list panel (or the screen) at a time, all in the same place.
            int shown = 0;
            for (int id : {kPlaylistList, kLibraryList, kStationList, kLinkList}) {
                QWidget* panel = window.ControlWidget(id);
                EXPECT_EQ(panel->geometry(), QRect(14, 138, 247, 128));
                shown += panel->isVisibleTo(&window) ? 1 : 0;
            }
            shown += Placed(window, kScreen).isEmpty() ? 0 : 1;
            int expectShown = (mode == 1 && (view == kViewLibrary || view == kViewLinks)) ? 0 : 1;
            EXPECT_EQ(shown, expectShown) << "mode " << mode << " view " << view;
        }
    }
}

} // namespace
} // namespace lumetra::ui
