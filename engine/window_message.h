#pragma once
// Window messages between threads and windows: a posted Qt event that carries the
// message number and its two parameters, as the window procedures expect them.

#include <QEvent>

#include <cstdint>

class QObject;

namespace lumetra::engine {

inline constexpr int kMsgEndOfTrack = 953;  // wParam 0 from the engine; MCI notify code otherwise
inline constexpr int kMsgBufferDone = 957;
inline constexpr int kMsgThreadQuit = 18;

class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(int message, intptr_t wParam, intptr_t lParam);
    static QEvent::Type EventType();

    int message;
    intptr_t wParam;
    intptr_t lParam;
};

// Thread-safe; the event is delivered on the target's thread.
void PostWindowMessage(QObject* target, int message, intptr_t wParam, intptr_t lParam);

} // namespace lumetra::engine
