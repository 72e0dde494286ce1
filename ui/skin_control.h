#pragma once
// One skinned control: a child widget that asks its owner which cell to paint
// and reports presses, drags and releases in skin coordinates.

#include <QWidget>

namespace lumetra::ui {

class SkinControlOwner {
public:
    virtual ~SkinControlOwner() = default;
    virtual void PaintControl(int id, QPainter& painter, bool pressed) = 0;
    virtual void ControlPressed(int id, QPoint at) = 0;
    virtual void ControlDragged(int id, QPoint at) = 0;
    virtual void ControlReleased(int id, QPoint at) = 0;
};

class SkinControl : public QWidget {
public:
    SkinControl(int id, SkinControlOwner& owner, QWidget* parent);
    int Id() const { return m_id; }
    bool Pressed() const { return m_pressed; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    int m_id;
    SkinControlOwner& m_owner;
    bool m_pressed = false;
};

} // namespace lumetra::ui
