#pragma once
// Identifiers of the main window's controls and menu commands.

namespace lumetra::ui {

enum ControlId : int {
    kDelete = 3,
    kMoveUp = 4,
    kMoveDown = 5,
    kAbout = 6,
    kLibrary = 7,
    kPlaylist = 8,
    kInfo = 9,
    kLink = 10,
    kRadioButton = 11,
    kMp3Button = 12,
    kPlay = 1000,
    kPause = 1001,
    kStop = 1002,
    kFbwd = 1003,
    kFfwd = 1004,
    kPlaylistList = 1007,
    kAdd = 1008,
    kMute = 1009,
    kShuffle = 1010,
    kRepeat = 1011,
    kView = 1012,
    kLibraryList = 1013,
    kKnob = 1014,
    kStationList = 1015,
    kLinkList = 1016,
    kModePanel = 1018,
    kPlayModeLamp = 1019,
    kStateLamp = 1020,
    kLevelMeter = 1021,
    kTrackTens = 1022,
    kTrackUnits = 1023,
    kSecondsTens = 1024,
    kSecondsUnits = 1025,
    kMinutesTens = 1026,
    kMinutesUnits = 1027,
    kPositionBar = 1028,
    kScreen = 1029,
    kWebLink = 1030,
    kTrackRadio = 1031,
    kModeMp3 = 1032,
    kModeRadio = 1033,
    kStatusText = 1062,
};

// Press notification codes carried with a command.
inline constexpr int kCodePressed = 2;
inline constexpr int kCodeReleased = 3;
inline constexpr int kCodeDoubleClick = 5;

enum MenuCommand : int {
    kMenuOpenSong = 40001,
    kMenuNewPlaylist = 40002,
    kMenuOpenPlaylist = 40003,
    kMenuSavePlaylist = 40004,
    kMenuSavePlaylistAs = 40005,
    kMenuExit = 40006,
    kMenuPreferences = 40007,
    kMenuInfoPlaylist = 40009,
    kMenuHelp = 40010,
    kMenuOnline = 40011,
    kMenuAbout = 40012,
    kMenuMp3Mode = 40014,
    kMenuRadioMode = 40015,
    kMenuBuildLibrary = 40017,
};

// Panel views.
enum View : int { kViewList = 0, kViewInfo = 1, kViewLibrary = 2, kViewVersion = 3, kViewLinks = 4 };

} // namespace lumetra::ui
