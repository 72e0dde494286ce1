#pragma once
// An owner-drawn list panel: eight rows of 16 pixels, drawn row by row by its
// source. Clicks select, double clicks activate; keys go to the source first.

#include <QWidget>

namespace lumetra::ui {

class ListSource {
public:
    virtual ~ListSource() = default;
    virtual int RowCount() = 0;
    virtual int SelectedRow() = 0;
    virtual void DrawRow(QPainter& painter, int row, const QRect& rect, bool selected) = 0;
    // Drawn instead of the rows when there are none (busy texts); empty for none.
    virtual QString EmptyText() { return {}; }
    virtual void SelectionChanged(int row) = 0;
    // A row clicked while both mouse buttons are held.
    virtual void SelectedWithBothButtons(int row) { SelectionChanged(row); }
    virtual void Activated(int /*row*/) {}
    // True when the window handled the key.
    virtual bool KeyPressed(int /*key*/) { return false; }
};

class ListPanel : public QWidget {
public:
    static constexpr int kRowHeight = 16;
    static constexpr int kVisibleRows = 8;

    ListPanel(ListSource& source, QWidget* parent);
    // Scrolls so that row is the top row unless it is already visible.
    void EnsureVisible(int row);
    int TopRow() const { return m_top; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    int RowAt(int y) const;
    void ScrollTo(int top);

    ListSource& m_source;
    int m_top = 0;
};

} // namespace lumetra::ui
