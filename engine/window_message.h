#pragma once
// Window messages between threads and windows: a posted Qt event that carries the
// message number and its two parameters, as the window procedures expect them.

#include <QEvent>

#include <cstdint>

class QObject;

namespace lumetra::engine {

inline constexpr int kMsgEndOfTrack = 953; // wParam 0 from the engine; MCI notify code otherwise
inline constexpr int kMsgBufferDone = 957;
inline constexpr int kMsgThreadQuit = 18;
// A message box the engine asks the main window to show; wParam an EngineBox.
inline constexpr int kMsgEngineBox = 1100;

enum EngineBox : intptr_t { kBoxDeviceBusy = 1, kBoxWaveOutError = 2, kBoxNoSoundFont = 3 };

// Shows the box of an EngineBox; for the main window's handler of kMsgEngineBox,
// on the main thread with no lock held.
void ShowEngineBox(intptr_t box);

class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(int message, intptr_t wParam, intptr_t lParam);
    ~WindowMessageEvent() override;
    WindowMessageEvent(const WindowMessageEvent&) = delete;
    WindowMessageEvent& operator=(const WindowMessageEvent&) = delete;
    static QEvent::Type EventType();

    int message;
    intptr_t wParam;
    intptr_t lParam;
};

// Thread-safe; the event is delivered on the target's thread.
void PostWindowMessage(QObject* target, int message, intptr_t wParam, intptr_t lParam);

// End-of-track messages posted and not yet handled (nor dropped with their target).
int PendingEndOfTrackMessages();

} // namespace lumetra::engine
