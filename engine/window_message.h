#pragma once
// Window messages between threads and windows: a task posted to the main loop that
// carries the message number and its two parameters, as the window procedures
// expect them.

#include <cstdint>
#include <memory>

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

struct WindowMessageChannel;

// What receives window messages (the main window's message side), on the main
// loop. Messages still on their way when it goes are dropped.
class WindowMessageTarget {
public:
    WindowMessageTarget();
    virtual ~WindowMessageTarget();
    WindowMessageTarget(const WindowMessageTarget&) = delete;
    WindowMessageTarget& operator=(const WindowMessageTarget&) = delete;

    virtual void HandleWindowMessage(int message, intptr_t wParam, intptr_t lParam) = 0;

private:
    friend void PostWindowMessage(WindowMessageTarget*, int, intptr_t, intptr_t);
    std::shared_ptr<WindowMessageChannel> m_channel;
};

// Thread-safe; the message is handled on the main loop (platform/loop/main_loop.h).
void PostWindowMessage(WindowMessageTarget* target, int message, intptr_t wParam, intptr_t lParam);

// End-of-track messages posted and not yet handled (nor dropped with their target).
int PendingEndOfTrackMessages();

} // namespace lumetra::engine
