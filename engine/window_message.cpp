#include "engine/window_message.h"

#include <QCoreApplication>

namespace lumetra::engine {

WindowMessageEvent::WindowMessageEvent(int message_, intptr_t wParam_, intptr_t lParam_)
    : QEvent(EventType()), message(message_), wParam(wParam_), lParam(lParam_)
{
}

QEvent::Type WindowMessageEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostWindowMessage(QObject* target, int message, intptr_t wParam, intptr_t lParam)
{
    if (target)
        QCoreApplication::postEvent(target, new WindowMessageEvent(message, wParam, lParam));
}

} // namespace lumetra::engine
