#include "ui/skin.h"
#include "platform/resources/resources.h"
#include "ui/layout_table.h"

#include <QImage>
#include <QPainter>

#include <string>

namespace lumetra::ui {
namespace {

QPixmap LoadBitmap(int id)
{
    auto bytes = platform::FindResource("bitmap", std::to_string(id));
    if (!bytes)
        return {};
    QImage image;
    image.loadFromData(bytes->data(), static_cast<int>(bytes->size()), "BMP");
    return QPixmap::fromImage(image);
}

} // namespace

bool Skin::Load()
{
    m_background = LoadBitmap(kBackgroundBitmap);
    bool complete = !m_background.isNull();
    for (int i = 0; i < kSkinBitmapCount; ++i) {
        m_bitmaps[static_cast<size_t>(i)] = LoadBitmap(kFirstSkinBitmap + i);
        complete = complete && !m_bitmaps[static_cast<size_t>(i)].isNull();
    }
    return complete;
}

const QPixmap& Skin::Bitmap(int index) const
{
    static const QPixmap none;
    if (index < 0 || index >= kSkinBitmapCount)
        return none;
    return m_bitmaps[static_cast<size_t>(index)];
}

void Skin::DrawCell(QPainter& painter, int index, int columns, int rows, int column, int row, int x, int y) const
{
    const QPixmap& bitmap = Bitmap(index);
    if (bitmap.isNull() || columns <= 0 || rows <= 0)
        return;
    int w = bitmap.width() / columns;
    int h = bitmap.height() / rows;
    painter.drawPixmap(x, y, bitmap, column * w, row * h, w, h);
}

} // namespace lumetra::ui
