#pragma once
// The main window's message side: window messages posted to it (953 from the
// engine, the notices of the other subsystems) are handed to the handler
// registered for their number, on the main thread.

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>

namespace lumetra::app {

class MainWindow : public QObject {
public:
    using Handler = std::function<void(intptr_t wParam, intptr_t lParam)>;
    void SetHandler(int message, Handler handler) { m_handlers[message] = std::move(handler); }

protected:
    bool event(QEvent* e) override;

private:
    std::map<int, Handler> m_handlers;
};

} // namespace lumetra::app
