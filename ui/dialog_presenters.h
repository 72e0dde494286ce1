#pragma once
// Message boxes and dialogs of the window: the presenters behind
// platform::ShowMessageBox / ShowDialog and the proxy dialog's handler. With
// control, each box and dialog is also printed as a `message` / `dialog` event.

class QWidget;

namespace lumetra::ui {

// owner nullptr: the dialogs open without an owner (start-up, before the window).
void InstallDialogPresenters(QWidget* owner, bool control);
void RemoveDialogPresenters();

} // namespace lumetra::ui
