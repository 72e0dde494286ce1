#include "ui/dialog_presenters.h"
#include "app/headless.h"
#include "platform/dialogs/message_box.h"
#include "ui/program_icon.h"
#include "ui/settings_dialogs.h"
#include "web/proxy_settings.h"

#include <QMessageBox>
#include <QPointer>

namespace lumetra::ui {

void InstallDialogPresenters(QWidget* owner, bool control)
{
    QPointer<QWidget> parent(owner);
    platform::SetMessageBoxPresenter([parent, control](const platform::MessageBoxRequest& request) {
        if (control)
            app::EmitEvent("message", request.caption + ": " + request.text);
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;
        switch (request.buttons) {
        case platform::MessageButtons::YesNo:
            buttons = QMessageBox::Yes | QMessageBox::No;
            break;
        case platform::MessageButtons::OkCancel:
            buttons = QMessageBox::Ok | QMessageBox::Cancel;
            break;
        case platform::MessageButtons::YesNoCancel:
            buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            break;
        case platform::MessageButtons::RetryCancel:
            buttons = QMessageBox::Retry | QMessageBox::Cancel;
            break;
        default:
            break;
        }
        QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(request.caption),
                        QString::fromStdString(request.text), buttons, parent.data());
        box.setWindowIcon(ProgramIcon());
        switch (box.exec()) {
        case QMessageBox::Yes:
            return platform::kAnswerYes;
        case QMessageBox::No:
            return platform::kAnswerNo;
        case QMessageBox::Cancel:
            return platform::kAnswerCancel;
        case QMessageBox::Retry:
            return platform::kAnswerRetry;
        default:
            return platform::kAnswerOk;
        }
    });
    platform::SetDialogPresenter([parent, control](const std::string& title) {
        if (control)
            app::EmitEvent("dialog", title);
        return RunDrawnDialog(title, parent.data()).value_or(false);
    });
    web::SetProxyDialogHandler([parent, control](const web::ProxyDialogView& view) {
        if (control)
            app::EmitEvent("dialog", "Proxy Information");
        return ShowProxyDialog(view, parent.data());
    });
}

void RemoveDialogPresenters()
{
    platform::SetMessageBoxPresenter(nullptr);
    platform::SetDialogPresenter(nullptr);
    web::SetProxyDialogHandler(nullptr);
}

} // namespace lumetra::ui
