#include "ui/layout_table.h"
#include "ui/control_ids.h"

#include <array>

namespace lumetra::ui {
namespace {

constexpr std::array kControls = {
    int(kPlay),         int(kPause),       int(kStop),         int(kFbwd),        int(kFfwd),       int(kAdd),
    int(kMute),         int(kShuffle),     int(kRepeat),       int(kView),        int(kKnob),       int(kModePanel),
    int(kPlayModeLamp), int(kStateLamp),   int(kLevelMeter),   int(kTrackTens),   int(kTrackUnits), int(kSecondsTens),
    int(kSecondsUnits), int(kMinutesTens), int(kMinutesUnits), int(kPositionBar), int(kScreen),     int(kWebLink),
    int(kTrackRadio),   int(kModeMp3),     int(kModeRadio),    int(kStatusText),  int(kDelete),     int(kMoveUp),
    int(kMoveDown),     int(kLibrary),     int(kPlaylist),     int(kInfo),        int(kLink),       int(kRadioButton),
    int(kMp3Button),
};

} // namespace

std::span<const int> LaidOutControls()
{
    return kControls;
}

Placement PlaceControl(int id, int mode, int view)
{
    bool radio = mode == 1;
    switch (id) {
    case kPlay:
        return {24, 147, 54, 1, 2};
    case kPause:
        return {23, 211, 54, 1, 2};
    case kStop:
        return radio ? Placement{37, 170, 53, 1, 1} : Placement{33, 179, 54, 1, 2};
    case kFbwd:
        return radio ? Placement{35, 110, 53, 1, 2} : Placement{31, 113, 54, 1, 2};
    case kFfwd:
        return radio ? Placement{34, 213, 53, 1, 2} : Placement{32, 243, 54, 1, 2};
    case kAdd: {
        int bitmap = radio ? (view == kViewInfo ? 15 : 11) : (view == kViewLibrary ? 3 : view == kViewLinks ? 15 : 2);
        return {bitmap, 11, 273, 1, 2};
    }
    case kMute:
        return {22, 292, 66, 1, 2};
    case kShuffle:
        return {30, 2, 67, 1, 2};
    case kRepeat:
        return {26, 53, 67, 1, 2};
    case kView:
        return {38, 305, 88, 1, 4};
    case kKnob:
        return {45, 285, 7, 31, 1};
    case kModePanel:
        return {43, 14, 125, 1, 7};
    case kPlayModeLamp:
        return {42, 49, 10, 1, 3};
    case kStateLamp:
        return radio ? Placement{41, 41, 45, 4, 1} : Placement{41, 31, 45, 4, 1};
    case kLevelMeter:
        return {44, 11, 23, 1, 2};
    case kTrackTens:
        return {39, 74, 23, 10, 1};
    case kTrackUnits:
        return {39, 85, 23, 10, 1};
    case kSecondsTens:
        return {39, 74, 45, 10, 1};
    case kSecondsUnits:
        return {39, 85, 45, 10, 1};
    case kMinutesTens:
        return radio ? Placement{39, 52, 45, 10, 1} : Placement{39, 44, 45, 10, 1};
    case kMinutesUnits:
        return radio ? Placement{39, 63, 45, 10, 1} : Placement{39, 55, 45, 10, 1};
    case kPositionBar:
        return {25, 109, 32, -213, 2};
    case kScreen:
        return {48, 14, 138, 1, 1};
    case kWebLink:
        return {0, 276, 280, 1, 2};
    case kTrackRadio:
        return {40, 28, 18, 1, 2};
    case kModeMp3:
        return {27, 56, 88, 1, 2};
    case kModeRadio:
        return {27, 6, 88, 1, 2};
    case kStatusText:
        return {25, 109, 9, -213, -1500};
    case kDelete:
        if (!radio && view == kViewLibrary)
            return {14, 137, 273, 1, 2};
        return {radio ? (view == kViewInfo ? 6 : 3) : 5, 74, 273, 1, 2};
    case kMoveUp:
        return {radio && view == kViewInfo ? 4 : 9, 138, 273, 1, 2};
    case kMoveDown:
        return {radio && view == kViewInfo ? 13 : 8, 203, 273, 1, 2};
    case kLibrary:
        return {18, 272, 171, 1, 2};
    case kPlaylist:
        return {radio ? 21 : 20, 272, 147, 1, 2};
    case kInfo:
        return {17, 272, 123, 1, 2};
    case kLink:
        return {19, 272, 195, 1, 2};
    case kRadioButton:
        return {46, 269, 237, 1, 2};
    case kMp3Button:
        return {1, 266, 89, 1, 2};
    default:
        return {-1, 0, 0, 1, 1};
    }
}

Size CellSize(int bitmapWidth, int bitmapHeight, int columns, int rows)
{
    auto part = [](int length, int grid) {
        if (grid < 0)
            return length * 1000 / -grid;
        return grid > 0 ? length / grid : 0;
    };
    return {part(bitmapWidth, columns), part(bitmapHeight, rows)};
}

bool ControlEnabled(int id, int mode, int view)
{
    bool radio = mode == 1;
    bool player = !radio;
    switch (id) {
    // Apply mode: the player-only controls.
    case kTrackTens:
    case kTrackUnits:
    case kPlay:
    case kPause:
        return player;
    case kLibrary:
    case kLink:
        return player;
    // Apply view.
    case kShuffle:
    case kRepeat:
        return player && view != kViewLibrary;
    case kDelete:
        return (player && (view == kViewList || view == kViewLibrary)) || (radio && view == kViewInfo);
    case kMoveUp:
        return player && view == kViewList;
    case kMoveDown:
        return radio || view == kViewList;
    case kStationList:
        return radio && view == kViewList;
    case kPlaylistList:
        return player && view == kViewList;
    case kLibraryList:
        return player && view == kViewLibrary;
    case kScreen:
        return view == kViewInfo || view == kViewVersion;
    case kLinkList:
        return player && view == kViewLinks;
    case kWebLink:
    case kMp3Button:
        return false; // created hidden and disabled; nothing shows them
    default:
        return true;
    }
}

} // namespace lumetra::ui
