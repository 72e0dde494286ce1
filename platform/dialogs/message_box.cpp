#include "platform/dialogs/message_box.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cassert>
#include <cstdio>
#include <mutex>

namespace lumetra::platform {
namespace {

std::mutex g_presenterLock;
MessageBoxPresenter g_messagePresenter;
DialogPresenter g_dialogPresenter;

} // namespace

MessageAnswer DefaultAnswer(const MessageBoxRequest& request)
{
    if (request.defaultAnswer != kAnswerOk)
        return request.defaultAnswer;
    switch (request.buttons) {
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
        return kAnswerYes;
    case MessageButtons::RetryCancel:
        return kAnswerRetry;
    default:
        return kAnswerOk;
    }
}

namespace {

// On Linux the main thread's id is the process id. A box on any other thread
// would be a modal dialog off the window's thread.
[[maybe_unused]] bool OnMainThread()
{
    return static_cast<pid_t>(syscall(SYS_gettid)) == getpid();
}

} // namespace

void SetMessageBoxPresenter(MessageBoxPresenter presenter)
{
    std::lock_guard lock(g_presenterLock);
    g_messagePresenter = std::move(presenter);
}

void SetDialogPresenter(DialogPresenter presenter)
{
    std::lock_guard lock(g_presenterLock);
    g_dialogPresenter = std::move(presenter);
}

MessageAnswer ShowMessageBox(const MessageBoxRequest& request)
{
    assert(OnMainThread() && "message boxes are shown on the main thread only");
    MessageBoxPresenter presenter;
    {
        std::lock_guard lock(g_presenterLock);
        presenter = g_messagePresenter;
    }
    if (presenter)
        return presenter(request);
    std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
    return DefaultAnswer(request);
}

MessageAnswer ShowMessageBox(const std::string& caption, const std::string& text, MessageButtons buttons)
{
    return ShowMessageBox(MessageBoxRequest{caption, text, buttons, kAnswerOk});
}

bool ShowDialog(const std::string& title)
{
    assert(OnMainThread() && "dialogs are shown on the main thread only");
    DialogPresenter presenter;
    {
        std::lock_guard lock(g_presenterLock);
        presenter = g_dialogPresenter;
    }
    if (presenter)
        return presenter(title);
    std::fprintf(stderr, "dialog %s\n", title.c_str());
    return false;
}

} // namespace lumetra::platform
