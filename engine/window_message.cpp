#include "engine/window_message.h"

#include "platform/dialogs/message_box.h"
#include "platform/loop/main_loop.h"

#include <atomic>
#include <mutex>

namespace lumetra::engine {
namespace {

// Counted from the posting to the end of the handler, or until the message is
// dropped (its target gone, no loop to run it), so a message on its way is never missed.
std::atomic<int> g_pendingEndOfTrack{0};

} // namespace

struct WindowMessageChannel {
    std::mutex lock;
    WindowMessageTarget* target = nullptr;
    int pendingEnds = 0;
};

namespace {

// An end-of-track message on its way: counted until handled or dropped.
class PendingEnd {
public:
    explicit PendingEnd(std::shared_ptr<WindowMessageChannel> channel) : m_channel(std::move(channel)) {}
    ~PendingEnd() { Release(); }
    PendingEnd(const PendingEnd&) = delete;
    PendingEnd& operator=(const PendingEnd&) = delete;

    void Release()
    {
        if (!m_channel)
            return;
        std::lock_guard hold(m_channel->lock);
        // A target that went has taken its messages off the count already.
        if (m_channel->target) {
            --m_channel->pendingEnds;
            g_pendingEndOfTrack.fetch_sub(1);
        }
        m_channel.reset();
    }

private:
    std::shared_ptr<WindowMessageChannel> m_channel;
};

} // namespace

WindowMessageTarget::WindowMessageTarget() : m_channel(std::make_shared<WindowMessageChannel>())
{
    m_channel->target = this;
}

WindowMessageTarget::~WindowMessageTarget()
{
    std::lock_guard hold(m_channel->lock);
    m_channel->target = nullptr;
    g_pendingEndOfTrack.fetch_sub(m_channel->pendingEnds);
    m_channel->pendingEnds = 0;
}

int PendingEndOfTrackMessages()
{
    return g_pendingEndOfTrack.load();
}

void ShowEngineBox(intptr_t box)
{
    switch (box) {
    case kBoxDeviceBusy:
        platform::ShowMessageBox("Lumetra Media Player (tm)",
                                 "Another program is using your sound card.  Please close it and try again.");
        break;
    case kBoxWaveOutError:
        platform::ShowMessageBox("Error", "WaveOut Error");
        break;
    case kBoxNoSoundFont:
        platform::ShowMessageBox("Lumetra Media Player (tm)",
                                 "No sound font is installed, so MIDI files cannot play. Install timgm6mb-soundfont.");
        break;
    default:
        break;
    }
}

void PostWindowMessage(WindowMessageTarget* target, int message, intptr_t wParam, intptr_t lParam)
{
    if (!target)
        return;
    std::shared_ptr<WindowMessageChannel> channel = target->m_channel;
    std::shared_ptr<PendingEnd> pending;
    if (message == kMsgEndOfTrack) {
        std::lock_guard hold(channel->lock);
        ++channel->pendingEnds;
        g_pendingEndOfTrack.fetch_add(1);
        pending = std::make_shared<PendingEnd>(channel);
    }
    platform::PostToMainLoop([channel, pending, message, wParam, lParam] {
        // Read on the main thread, where targets are made and go.
        if (WindowMessageTarget* to = channel->target)
            to->HandleWindowMessage(message, wParam, lParam);
        if (pending)
            pending->Release();
    });
}

} // namespace lumetra::engine
