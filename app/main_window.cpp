#include "app/main_window.h"
#include "app/headless_registry.h"

namespace lumetra::app {

void MainWindow::HandleWindowMessage(int message, intptr_t wParam, intptr_t lParam)
{
    auto it = m_handlers.find(message);
    if (it != m_handlers.end() && it->second)
        it->second(wParam, lParam);
    else
        DispatchWindowMessage(message, wParam, lParam);
}

} // namespace lumetra::app
