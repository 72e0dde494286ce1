#include "ui/cd_info_dialog.h"

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>

namespace lumetra::ui {
namespace {

constexpr int kMaxName = 128;

QString TrackLabel(int row)
{
    return QString::asprintf("&Track %02d", row + 1);
}

} // namespace

bool RunCdInfoDialog(engine::CdDiscNames& names, int track, QWidget* owner)
{
    QDialog dialog(owner);
    dialog.setWindowTitle("Audio CD Information");
    auto* grid = new QGridLayout(&dialog);
    auto edit = [&](const std::string& text, const char* id) {
        auto* e = new QLineEdit(QString::fromLocal8Bit(text.c_str()), &dialog);
        e->setMaxLength(kMaxName);
        e->setObjectName(id);
        return e;
    };
    auto* serial = new QLabel(QString::asprintf("%08X", names.serial), &dialog);
    serial->setObjectName("1050");
    QLineEdit* artist = edit(names.artist, "2014");
    QLineEdit* title = edit(names.title, "2016");
    auto* list = new QListWidget(&dialog);
    list->setObjectName("2020");
    for (const std::string& name : names.tracks)
        list->addItem(QString::fromLocal8Bit(name.c_str()));
    auto* label = new QLabel(&dialog);
    label->setObjectName("2021");
    QLineEdit* trackName = edit("", "2022");
    auto* set = new QPushButton("&Set", &dialog);
    set->setObjectName("2009");
    auto* save = new QPushButton("Save Audio CD Information", &dialog);
    save->setObjectName("1");
    auto* cancel = new QPushButton("Cancel", &dialog);
    cancel->setObjectName("2");
    auto caption = [&](const char* text, QWidget* buddy) {
        auto* l = new QLabel(text, &dialog);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(serial, 0, 0, 1, 2);
    grid->addWidget(caption("&Artist:", artist), 1, 0);
    grid->addWidget(artist, 1, 1);
    grid->addWidget(caption("&Title:", title), 2, 0);
    grid->addWidget(title, 2, 1);
    grid->addWidget(caption("A&vailable Tracks:", list), 3, 0, 1, 2);
    grid->addWidget(list, 4, 0, 1, 2);
    grid->addWidget(label, 5, 0);
    grid->addWidget(trackName, 5, 1);
    grid->addWidget(set, 6, 0);
    grid->addWidget(save, 7, 0);
    grid->addWidget(cancel, 7, 1);
    label->setBuddy(trackName);

    auto show = [&](int row) {
        label->setText(TrackLabel(row));
        trackName->setText(list->item(row)->text());
        trackName->selectAll();
    };
    auto useDefault = [&](QPushButton* button) {
        set->setDefault(button == set);
        save->setDefault(button == save);
    };
    // Set: the edit names the selected track, and the next track is selected
    // (after the last, the first).
    auto apply = [&] {
        int row = list->currentRow();
        if (row < 0)
            return;
        list->item(row)->setText(trackName->text());
        int next = (row + 1) % list->count();
        list->setCurrentRow(next);
        show(next);
        useDefault(save);
    };
    bool pending = false;
    QObject::connect(list, &QListWidget::currentRowChanged, &dialog, [&](int row) {
        if (row >= 0)
            show(row);
        pending = false;
    });
    QObject::connect(trackName, &QLineEdit::textEdited, &dialog, [&] {
        pending = true;
        useDefault(set);
    });
    QObject::connect(set, &QPushButton::clicked, &dialog, [&] {
        apply();
        pending = false;
    });
    QObject::connect(save, &QPushButton::clicked, &dialog, [&] {
        if (pending)
            apply();
        dialog.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    int row = std::clamp(track - 1, 0, std::max(0, list->count() - 1));
    if (list->count() > 0) {
        list->setCurrentRow(row);
        show(row);
    }
    useDefault(save);
    trackName->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    names.artist = artist->text().toLocal8Bit().toStdString();
    names.title = title->text().toLocal8Bit().toStdString();
    for (int i = 0; i < list->count() && i < static_cast<int>(names.tracks.size()); ++i)
        names.tracks[static_cast<std::size_t>(i)] = list->item(i)->text().toLocal8Bit().toStdString();
    return true;
}

} // namespace lumetra::ui
