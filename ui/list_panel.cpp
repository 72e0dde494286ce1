#include "ui/list_panel.h"
#include "ui/outlined_text.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

namespace lumetra::ui {

ListPanel::ListPanel(ListSource& source, QWidget* parent) : QWidget(parent), m_source(source)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ListPanel::EnsureVisible(int row)
{
    if (row >= 0 && (row < m_top || row >= m_top + kVisibleRows))
        ScrollTo(row);
}

void ListPanel::ScrollTo(int top)
{
    int count = m_source.RowCount();
    top = std::clamp(top, 0, std::max(0, count - kVisibleRows));
    if (top != m_top) {
        m_top = top;
        update();
    }
}

int ListPanel::RowAt(int y) const
{
    int row = m_top + y / kRowHeight;
    return row < m_source.RowCount() ? row : -1;
}

void ListPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(6, 10, 20));
    int count = m_source.RowCount();
    if (m_top >= count)
        m_top = std::max(0, count - kVisibleRows);
    if (count == 0) {
        QString text = m_source.EmptyText();
        if (!text.isEmpty())
            DrawOutlinedText(painter, 3, 0, text, Qt::white);
        return;
    }
    int selected = m_source.SelectedRow();
    for (int i = 0; i < kVisibleRows && m_top + i < count; ++i) {
        int row = m_top + i;
        m_source.DrawRow(painter, row, QRect(0, i * kRowHeight, width(), kRowHeight), row == selected);
    }
}

void ListPanel::mousePressEvent(QMouseEvent* e)
{
    setFocus();
    int row = RowAt(e->position().toPoint().y());
    constexpr Qt::MouseButtons both = Qt::LeftButton | Qt::RightButton;
    if (row >= 0 && (e->buttons() & both) == both) {
        m_source.SelectedWithBothButtons(row);
        update();
    } else if (row >= 0 && e->button() == Qt::LeftButton) {
        m_source.SelectionChanged(row);
        update();
    }
}

void ListPanel::mouseDoubleClickEvent(QMouseEvent* e)
{
    int row = RowAt(e->position().toPoint().y());
    if (row >= 0 && e->button() == Qt::LeftButton)
        m_source.Activated(row);
}

void ListPanel::wheelEvent(QWheelEvent* e)
{
    ScrollTo(m_top - e->angleDelta().y() / 40);
}

void ListPanel::keyPressEvent(QKeyEvent* e)
{
    if (m_source.KeyPressed(e->key()))
        return;
    int count = m_source.RowCount();
    int selected = m_source.SelectedRow();
    int row = -1;
    if (e->key() == Qt::Key_Down)
        row = std::min(count - 1, selected + 1);
    else if (e->key() == Qt::Key_Up)
        row = std::max(0, selected - 1);
    else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        if (selected >= 0)
            m_source.Activated(selected);
        return;
    } else {
        QWidget::keyPressEvent(e);
        return;
    }
    if (row >= 0 && row < count) {
        m_source.SelectionChanged(row);
        EnsureVisible(row);
        update();
    }
}

} // namespace lumetra::ui
