#include "ui/skin.h"
#include "platform/resources/resources.h"
#include "ui/layout_table.h"

#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

namespace lumetra::ui {
namespace {

// The skin's own BMP files: a 40-byte (or longer) info header, uncompressed,
// 8 bits with a colour table or 24 bits, rows padded to four bytes. Read here
// rather than by Qt's image readers, which load every image-format plugin first.
QImage DecodeBmp(std::span<const unsigned char> b)
{
    auto u16 = [&](std::size_t o) { return static_cast<uint32_t>(b[o] | b[o + 1] << 8); };
    auto u32 = [&](std::size_t o) { return u16(o) | u16(o + 2) << 16; };
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M')
        return {};
    uint32_t offset = u32(10), header = u32(14), compression = u32(30), bits = u16(28);
    int32_t width = static_cast<int32_t>(u32(18)), height = static_cast<int32_t>(u32(22));
    bool topDown = height < 0;
    height = std::abs(height);
    if (header < 40 || compression != 0 || (bits != 8 && bits != 24) || width <= 0 || width > 4096 || height == 0 ||
        height > 4096)
        return {};
    std::size_t stride = (static_cast<std::size_t>(width) * bits / 8 + 3) & ~std::size_t{3};
    uint32_t colours = bits == 8 ? (u32(46) ? u32(46) : 256) : 0;
    std::size_t table = 14 + header;
    if (offset > b.size() || b.size() - offset < stride * static_cast<std::size_t>(height) || colours > 256 ||
        table + colours * 4 > offset)
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = b.data() + offset + stride * static_cast<std::size_t>(topDown ? y : height - 1 - y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (bits == 24) {
                out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            } else {
                std::size_t c = table + 4 * (row[x] < colours ? row[x] : 0);
                out[x] = qRgb(b[c + 2], b[c + 1], b[c]);
            }
        }
    }
    return image;
}

QPixmap LoadBitmap(int id)
{
    static const bool added =
        (platform::AddResourceTable(platform::detail::kSkinResources, platform::detail::kSkinResourcesCount), true);
    (void)added;
    auto bytes = platform::FindResource("bitmap", std::to_string(id));
    if (!bytes)
        return {};
    QPixmap pixmap = QPixmap::fromImage(DecodeBmp(*bytes));
    // The picture is all that is used from now on: the file's bytes need not
    // stay in memory (they are read again should anything look at them).
    platform::ReleaseResourcePages(*bytes);
    return pixmap;
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
