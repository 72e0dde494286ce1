#pragma once
// Message boxes and dialogs behind one presenter: the window shows them with Qt,
// the headless front end prints "message <caption>: <text>" / "dialog <title>"
// and takes the default answer. Without a presenter (tools, tests), the text
// goes to standard error and the default answer is taken. Only the main thread
// shows them, never while holding a lock (asserted in debug builds): other
// threads post a window message and the main window shows the box.

#include <functional>
#include <string>

namespace lumetra::platform {

enum class MessageButtons { Ok, YesNo, OkCancel, YesNoCancel, RetryCancel };
enum MessageAnswer : int { kAnswerOk = 1, kAnswerCancel = 2, kAnswerRetry = 4, kAnswerYes = 6, kAnswerNo = 7 };

struct MessageBoxRequest {
    std::string caption;
    std::string text;
    MessageButtons buttons = MessageButtons::Ok;
    MessageAnswer defaultAnswer = kAnswerOk;
};

using MessageBoxPresenter = std::function<MessageAnswer(const MessageBoxRequest&)>;
using DialogPresenter = std::function<bool(const std::string& title)>; // true = OK

// The answer a box gives when nobody is asked: its default, else Yes, Retry or OK.
MessageAnswer DefaultAnswer(const MessageBoxRequest& request);

void SetMessageBoxPresenter(MessageBoxPresenter presenter);
void SetDialogPresenter(DialogPresenter presenter);

MessageAnswer ShowMessageBox(const MessageBoxRequest& request);
MessageAnswer ShowMessageBox(const std::string& caption, const std::string& text,
                             MessageButtons buttons = MessageButtons::Ok);
// For dialogs that the window draws; headless answers Cancel (false).
bool ShowDialog(const std::string& title);

} // namespace lumetra::platform
