#pragma once
// The main window's message side: window messages posted to it (953 from the
// engine, the notices of the other subsystems) are handed to the handler
// registered for their number, on the main thread.

#include "engine/window_message.h"

#include <cstdint>
#include <functional>
#include <map>

namespace lumetra::app {

class MainWindow : public engine::WindowMessageTarget {
public:
    using Handler = std::function<void(intptr_t wParam, intptr_t lParam)>;
    void SetHandler(int message, Handler handler) { m_handlers[message] = std::move(handler); }

    void HandleWindowMessage(int message, intptr_t wParam, intptr_t lParam) override;

private:
    std::map<int, Handler> m_handlers;
};

} // namespace lumetra::app
