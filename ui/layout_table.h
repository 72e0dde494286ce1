#pragma once
// Where each skinned control sits, which skin bitmap it paints from and its cell
// grid, by mode (0 player, 1 radio) and panel view; and which controls each mode
// and view show. Pure tables: no Qt.

#include <span>

namespace lumetra::ui {

struct Placement {
    int bitmap; // skin bitmap index (resource id - 207)
    int x, y;
    int columns, rows; // a negative value -n means: size x 1000 / n
};

struct Size {
    int width, height;
};

// Every control the table places, in table order.
std::span<const int> LaidOutControls();

// The control's row of the layout table for mode and view.
Placement PlaceControl(int id, int mode, int view);

// The cell (and so the control) size of a bitmap cut into columns x rows.
Size CellSize(int bitmapWidth, int bitmapHeight, int columns, int rows);

// Apply mode and Apply view: whether a control is shown and enabled. A control
// that is not gets width 0.
bool ControlEnabled(int id, int mode, int view);

inline constexpr int kSkinWidth = 356;
inline constexpr int kSkinHeight = 305;
inline constexpr int kSkinBitmapCount = 49;
inline constexpr int kFirstSkinBitmap = 207;
inline constexpr int kBackgroundBitmap = 110;
// The list panels and the information screen.
inline constexpr int kPanelX = 14, kPanelY = 138, kPanelWidth = 247, kPanelHeight = 128;

} // namespace lumetra::ui
