#pragma once
// The skin pictures: background 110 and the 49 cell bitmaps 207-255, read once
// from the embedded resources.

#include <QPixmap>

#include <array>

class QPainter;

namespace lumetra::ui {

class Skin {
public:
    // False when a bitmap is missing or unreadable.
    bool Load();
    const QPixmap& Background() const { return m_background; }
    const QPixmap& Bitmap(int index) const;
    // Copies cell (column, row) of bitmap index, cut into columns x rows, to (x, y).
    void DrawCell(QPainter& painter, int index, int columns, int rows, int column, int row, int x = 0, int y = 0) const;

private:
    QPixmap m_background;
    std::array<QPixmap, 49> m_bitmaps;
};

} // namespace lumetra::ui
