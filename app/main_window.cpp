#include "app/main_window.h"
#include "app/headless_registry.h"
#include "engine/window_message.h"

namespace lumetra::app {

bool MainWindow::event(QEvent* e)
{
    if (e->type() != engine::WindowMessageEvent::EventType())
        return QObject::event(e);
    auto* m = static_cast<engine::WindowMessageEvent*>(e);
    auto it = m_handlers.find(m->message);
    if (it != m_handlers.end())
        it->second(m->wParam, m->lParam);
    else
        DispatchWindowMessage(m->message, m->wParam, m->lParam);
    return true;
}

} // namespace lumetra::app
