#include "engine/window_message.h"

#include "platform/dialogs/message_box.h"

#include <QCoreApplication>

#include <atomic>

namespace lumetra::engine {
namespace {

// Counted from the event's making (on the posting thread) to its deletion after
// delivery, so a message on its way is never missed.
std::atomic<int> g_pendingEndOfTrack{0};

} // namespace

WindowMessageEvent::WindowMessageEvent(int message_, intptr_t wParam_, intptr_t lParam_)
    : QEvent(EventType()), message(message_), wParam(wParam_), lParam(lParam_)
{
    if (message == kMsgEndOfTrack)
        g_pendingEndOfTrack.fetch_add(1);
}

WindowMessageEvent::~WindowMessageEvent()
{
    if (message == kMsgEndOfTrack)
        g_pendingEndOfTrack.fetch_sub(1);
}

int PendingEndOfTrackMessages()
{
    return g_pendingEndOfTrack.load();
}

QEvent::Type WindowMessageEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
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

void PostWindowMessage(QObject* target, int message, intptr_t wParam, intptr_t lParam)
{
    if (target)
        QCoreApplication::postEvent(target, new WindowMessageEvent(message, wParam, lParam));
}

} // namespace lumetra::engine
