#include "ui/skin_control.h"

#include <QMouseEvent>
#include <QPainter>

namespace lumetra::ui {

SkinControl::SkinControl(int id, SkinControlOwner& owner, QWidget* parent) : QWidget(parent), m_id(id), m_owner(owner)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void SkinControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_owner.PaintControl(m_id, painter, m_pressed);
}

void SkinControl::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    update();
    m_owner.ControlPressed(m_id, e->position().toPoint());
}

// A second press of a double click presses again.
void SkinControl::mouseDoubleClickEvent(QMouseEvent* e)
{
    mousePressEvent(e);
}

void SkinControl::mouseMoveEvent(QMouseEvent* e)
{
    if (m_pressed)
        m_owner.ControlDragged(m_id, e->position().toPoint());
}

void SkinControl::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    update();
    m_owner.ControlReleased(m_id, e->position().toPoint());
}

} // namespace lumetra::ui
