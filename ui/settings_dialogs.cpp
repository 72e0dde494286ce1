#include "ui/settings_dialogs.h"
#include "settings/preferences.h"
#include "settings/settings.h"
#include "ui/program_icon.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace lumetra::ui {
namespace {

constexpr int kForegroundTimer = 1398;
constexpr int kForegroundTimerMs = 1000;
constexpr const char* kDefaultPlayerText = "Make Lumetra Media Player(TM) the default MP3/CD/MIDI/WAV player";

enum Control : int {
    kVersionLine = 1047,
    kRadioFilter = 1033,
    kConnectionSpeed = 1034,
    kRememberExpanded = 1035,
    kDefaultPlayer = 1036,
    kDesktopIcon = 1046,
    kMinWavSize = 1051,
    kProxyServer = 1162,
    kProxyPort = 1163,
    kProxyUser = 1164,
    kProxyPassword = 1165,
    kProxyNote = 1166,
    kSaveLogin = 1167,
    kProxyStatus = 1168,
};

template <typename W>
W* Numbered(W* widget, int id)
{
    widget->setObjectName(QString::number(id));
    return widget;
}

// Common to every dialog here: the program's icon, and without an owner a
// once-a-second check that brings the dialog back to the front.
void Prepare(QDialog& dialog, const char* title, QWidget* owner)
{
    dialog.setWindowTitle(QString::fromUtf8(title));
    dialog.setWindowIcon(ProgramIcon());
    if (owner)
        return;
    auto* timer = new QTimer(&dialog);
    timer->setObjectName(QString::number(kForegroundTimer));
    timer->setInterval(kForegroundTimerMs);
    QObject::connect(timer, &QTimer::timeout, &dialog, [&dialog] {
        if (!dialog.isActiveWindow()) {
            dialog.raise();
            dialog.activateWindow();
        }
    });
    QObject::connect(&dialog, &QDialog::finished, timer, &QTimer::stop);
    timer->start();
}

QDialogButtonBox* OkCancel(QDialog& dialog)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}

QCheckBox* CheckBox(QWidget* parent, int id, const char* text, bool ticked)
{
    auto* box = Numbered(new QCheckBox(QString::fromUtf8(text), parent), id);
    box->setChecked(ticked);
    return box;
}

// The check boxes of both dialogs; hidden ones are filled and read like the
// visible ones, so their settings pass through unchanged.
struct SettingBoxes {
    QCheckBox* desktopIcon;
    QCheckBox* defaultPlayer;
    QCheckBox* rememberExpanded = nullptr;
    QCheckBox* radioFilter = nullptr;
};

void ReadBoxes(const SettingBoxes& boxes, settings::PreferencesView& view)
{
    view.desktopIcon = boxes.desktopIcon->isChecked();
    view.defaultPlayer = boxes.defaultPlayer->isChecked();
    if (boxes.rememberExpanded)
        view.rememberExpanded = boxes.rememberExpanded->isChecked();
    if (boxes.radioFilter)
        view.radioFilter = boxes.radioFilter->isChecked();
}

} // namespace

int ShowPreferences(QWidget* owner)
{
    settings::Settings& current = settings::CurrentSettings();
    settings::PreferencesView view = settings::OpenPreferences(current);
    QDialog dialog(owner);
    Prepare(dialog, settings::kPreferencesTitle, owner);
    auto* layout = new QVBoxLayout(&dialog);

    auto* media = new QGroupBox("Media Player", &dialog);
    auto* mediaRow = new QHBoxLayout(media);
    auto* minWav = Numbered(new QLineEdit(QString::fromStdString(view.minWavSizeText), media), kMinWavSize);
    mediaRow->addWidget(new QLabel("Scan .wav files bigger than", media));
    mediaRow->addWidget(minWav);
    mediaRow->addWidget(new QLabel("KB", media));
    layout->addWidget(media);

    auto* radio = new QGroupBox("Radio Receiver", &dialog);
    auto* radioRow = new QFormLayout(radio);
    auto* speed = Numbered(new QComboBox(radio), kConnectionSpeed);
    for (const auto& entry : settings::kConnectionSpeeds)
        speed->addItem(QString::fromUtf8(entry.name.data(), static_cast<int>(entry.name.size())));
    speed->setCurrentIndex(view.connectionSpeed >= 0 && view.connectionSpeed < speed->count() ? view.connectionSpeed
                                                                                              : -1);
    radioRow->addRow("Connection Speed:", speed);
    layout->addWidget(radio);

    SettingBoxes boxes{CheckBox(&dialog, kDesktopIcon, "Put icon on desktop", view.desktopIcon),
                       CheckBox(&dialog, kDefaultPlayer, kDefaultPlayerText, view.defaultPlayer),
                       CheckBox(&dialog, kRememberExpanded, "Remember expanded categories", view.rememberExpanded),
                       CheckBox(&dialog, kRadioFilter, "Reduce Radio Static", view.radioFilter)};
    boxes.defaultPlayer->setEnabled(view.defaultPlayerEnabled);
    for (QCheckBox* box : {boxes.desktopIcon, boxes.defaultPlayer, boxes.rememberExpanded, boxes.radioFilter}) {
        layout->addWidget(box);
        box->hide();
    }
    layout->addWidget(OkCancel(dialog));

    if (dialog.exec() != QDialog::Accepted)
        return 0;
    ReadBoxes(boxes, view);
    view.connectionSpeed = speed->currentIndex();
    view.minWavSizeText = minWav->text().toStdString();
    settings::AcceptPreferences(view, current);
    return 1;
}

int ShowSetup()
{
    settings::Settings& current = settings::CurrentSettings();
    settings::PreferencesView view = settings::OpenPreferences(current);
    QDialog dialog;
    Prepare(dialog, settings::kSetupTitle, nullptr);
    auto* layout = new QVBoxLayout(&dialog);
    SettingBoxes boxes{CheckBox(&dialog, kDesktopIcon, "Put icon on desktop", view.desktopIcon),
                       CheckBox(&dialog, kDefaultPlayer, kDefaultPlayerText, view.defaultPlayer)};
    boxes.defaultPlayer->setEnabled(view.defaultPlayerEnabled);
    layout->addWidget(boxes.defaultPlayer);
    layout->addWidget(boxes.desktopIcon);
    boxes.desktopIcon->hide();
    layout->addWidget(OkCancel(dialog));
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    ReadBoxes(boxes, view);
    settings::AcceptPreferences(view, current);
    return 1;
}

void ShowAbout(QWidget* owner)
{
    QDialog dialog(owner);
    Prepare(dialog, "About", owner);
    auto* layout = new QVBoxLayout(&dialog);
    std::string text = std::string(settings::kAboutText) + std::string(settings::kProgramVersion);
    layout->addWidget(Numbered(new QLabel(QString::fromStdString(text), &dialog), kVersionLine));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();
}

namespace {

// OK is the only way out: Escape and the close button do nothing.
class ProxyDialog : public QDialog {
public:
    using QDialog::QDialog;
    void reject() override {}
};

} // namespace

bool ShowProxyDialog(const web::ProxyDialogView& view, QWidget* owner)
{
    ProxyDialog dialog(owner);
    Prepare(dialog, "Proxy Information", owner);
    auto* layout = new QVBoxLayout(&dialog);
    auto* form = new QFormLayout;
    auto field = [&](int id, const char* label, const std::string& value) {
        auto* edit = Numbered(new QLineEdit(QString::fromStdString(value), &dialog), id);
        edit->setMaxLength(static_cast<int>(web::kProxyFieldLimit));
        form->addRow(label, edit);
        return edit;
    };
    QLineEdit* server = field(kProxyServer, "Proxy Server:", view.values.server);
    QLineEdit* port = field(kProxyPort, "Port:", view.values.port);
    QLineEdit* user = field(kProxyUser, "User ID:", view.values.userId);
    QLineEdit* password = field(kProxyPassword, "Password:", view.values.password);
    password->setEchoMode(QLineEdit::Password);
    server->setEnabled(view.serverAndPortEnabled);
    port->setEnabled(view.serverAndPortEnabled);
    layout->addLayout(form);
    layout->addWidget(Numbered(new QLabel(QString::fromStdString(view.note), &dialog), kProxyNote));
    layout->addWidget(Numbered(new QLabel(&dialog), kProxyStatus));
    QCheckBox* saveLogin = CheckBox(&dialog, kSaveLogin, "Save Login Info", false);
    saveLogin->setEnabled(false);
    saveLogin->hide();
    layout->addWidget(saveLogin);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();

    auto text = [](QLineEdit* edit) { return edit->text().toStdString(); };
    web::WriteProxySettings({text(server), text(port), text(user), text(password)});
    return true;
}

std::optional<bool> RunDrawnDialog(const std::string& title, QWidget* owner)
{
    if (title == settings::kPreferencesTitle)
        return ShowPreferences(owner) == 1;
    if (title == settings::kSetupTitle)
        return ShowSetup() == 1;
    if (title == "About") {
        ShowAbout(owner);
        return true;
    }
    return std::nullopt;
}

} // namespace lumetra::ui
