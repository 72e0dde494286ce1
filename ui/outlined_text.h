#pragma once
// Text on the skin and in the lists: four passes in the outline colour around
// the spot, then the text itself one pixel lower, so it reads on any art.

#include <QColor>
#include <QRect>
#include <QString>

class QPainter;

namespace lumetra::ui {

// (x, y) is the top-left of the text's line box.
void DrawOutlinedText(QPainter& painter, int x, int y, const QString& text, QColor textColour,
                      QColor outlineColour = Qt::black);
// Word-wrapped into rect the same way.
void DrawOutlinedText(QPainter& painter, const QRect& rect, const QString& text, QColor textColour,
                      QColor outlineColour = Qt::black);

} // namespace lumetra::ui
