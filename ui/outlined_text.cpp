#include "ui/outlined_text.h"

#include <QPainter>

#include <array>

namespace lumetra::ui {
namespace {

constexpr std::array<QPoint, 4> kShadow = {QPoint(1, 1), QPoint(0, 2), QPoint(-1, 1), QPoint(0, 0)};
constexpr int kFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

} // namespace

void DrawOutlinedText(QPainter& painter, int x, int y, const QString& text, QColor textColour, QColor outlineColour)
{
    int ascent = painter.fontMetrics().ascent();
    painter.setPen(outlineColour);
    for (QPoint d : kShadow)
        painter.drawText(x + d.x(), y + d.y() + ascent, text);
    painter.setPen(textColour);
    painter.drawText(x, y + 1 + ascent, text);
}

void DrawOutlinedText(QPainter& painter, const QRect& rect, const QString& text, QColor textColour,
                      QColor outlineColour)
{
    painter.setPen(outlineColour);
    for (QPoint d : kShadow)
        painter.drawText(rect.translated(d), kFlags, text);
    painter.setPen(textColour);
    painter.drawText(rect.translated(0, 1), kFlags, text);
}

} // namespace lumetra::ui
