#include "ui/player_window.h"
#include "app/headless.h"
#include "app/headless_playlist.h"
#include "app/headless_radio.h"
#include "app/headless_registry.h"
#include "app/headless_web.h"
#include "app/player_control.h"
#include "engine/cd_names.h"
#include "engine/mci_sources.h"
#include "engine/media_dispatch.h"
#include "platform/audio/sound_player.h"
#include "platform/dialogs/message_box.h"
#include "playlist/library.h"
#include "radio/receiver/receiver.h"
#include "settings/preferences.h"
#include "ui/cd_info_dialog.h"
#include "ui/control_ids.h"
#include "ui/dialog_presenters.h"
#include "ui/dropped_files.h"
#include "ui/layout_table.h"
#include "ui/position_bar.h"
#include "ui/window_lists.h"
#include "web/http_get.h"
#include "web/link_list.h"
#include "web/station_directory.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QUrl>

#include <cstring>
#include <filesystem>

namespace lumetra::ui {
namespace {

constexpr const char* kProductTitle = "Lumetra Media Player (tm)";

const char* Caption(int id)
{
    switch (id) {
    case kPlay:
        return "Play";
    case kPause:
        return "Pause";
    case kStop:
        return "Stop";
    case kFbwd:
        return "FBWD";
    case kFfwd:
        return "FFWD";
    case kAdd:
        return "Add";
    case kMute:
        return "Mute";
    case kShuffle:
        return "Shuffle";
    case kRepeat:
        return "Repeat";
    case kView:
        return "View Info/Playlist";
    case kKnob:
        return "Volume";
    case kModePanel:
        return "Panel";
    case kPlayModeLamp:
        return "Play mode";
    case kStateLamp:
        return "Player state";
    case kLevelMeter:
        return "Level";
    case kTrackTens:
        return "Track tens";
    case kTrackUnits:
        return "Track units";
    case kSecondsTens:
        return "Seconds tens";
    case kSecondsUnits:
        return "Seconds units";
    case kMinutesTens:
        return "Minutes tens";
    case kMinutesUnits:
        return "Minutes units";
    case kPositionBar:
        return "Position";
    case kScreen:
        return "Screen";
    case kWebLink:
        return "Web link";
    case kTrackRadio:
        return "Track/Radio";
    case kModeMp3:
        return "MP3";
    case kModeRadio:
        return "RADIO";
    case kStatusText:
        return "Status";
    case kDelete:
        return "Delete";
    case kMoveUp:
        return "Move Up";
    case kMoveDown:
        return "Move Down";
    case kLibrary:
        return "Library";
    case kPlaylist:
        return "Playlist";
    case kInfo:
        return "Info";
    case kLink:
        return "Link";
    case kRadioButton:
        return "Radio";
    case kMp3Button:
        return "Lumetra MP3";
    default:
        return "";
    }
}

// Buttons that also report their release.
// The client area: the background, painted at (0, 0).
class SkinFace : public QWidget {
public:
    SkinFace(const Skin& skin, QWidget* parent) : QWidget(parent), m_skin(skin)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QPainter painter(this);
        painter.drawPixmap(e->rect(), m_skin.Background(), e->rect());
    }

private:
    const Skin& m_skin;
};

bool ReportsRelease(int id)
{
    return id == kDelete || id == kMoveUp || id == kMoveDown || id == kAdd || id == kView;
}

void Wait(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

PlayerWindow::PlayerWindow(engine::Engine& engine, bool controlMode) : m_engine(engine), m_controlMode(controlMode)
{
    setWindowTitle(kProductTitle);
    m_skinComplete = m_skin.Load();
    m_face = new SkinFace(m_skin, this);
    m_face->setFixedSize(kSkinWidth, kSkinHeight);
    // Liberation Sans is Arial's metric twin; without it Qt picks a near match.
    QFont listFont("Liberation Sans");
    listFont.setPixelSize(14);
    listFont.setStyleHint(QFont::SansSerif);
    m_face->setFont(listFont);
    setCentralWidget(m_face);
    setAcceptDrops(true);
    BuildMenu();
    BuildControls();
    ApplyMode();
    ApplyView();
    // The client area is the background exactly; the menu sits above it.
    setFixedSize(sizeHint());
}

PlayerWindow::~PlayerWindow() = default;

void PlayerWindow::BuildMenu()
{
    auto add = [this](QMenu* menu, const char* text, int id) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { MenuCommand(id); });
    };
    QMenu* file = menuBar()->addMenu("&File");
    add(file, "&Open Song", kMenuOpenSong);
    add(file, "&New Playlist", kMenuNewPlaylist);
    add(file, "Open &Playlist", kMenuOpenPlaylist);
    add(file, "&Save Playlist", kMenuSavePlaylist);
    add(file, "Save Playlist &As...", kMenuSavePlaylistAs);
    file->addSeparator();
    add(file, "E&xit", kMenuExit);
    QMenu* options = menuBar()->addMenu("&Options");
    add(options, "&Preferences", kMenuPreferences);
    add(options, "&Info / Playlist", kMenuInfoPlaylist);
    add(options, "MP3 mode", kMenuMp3Mode);
    add(options, "Radio mode", kMenuRadioMode);
    add(options, "Build &Library", kMenuBuildLibrary);
    QMenu* help = menuBar()->addMenu("&Help");
    add(help, "&Help...", kMenuHelp);
    add(help, "&On-Line", kMenuOnline);
    add(help, "&About", kMenuAbout);
}

void PlayerWindow::BuildControls()
{
    m_playlistSource = std::make_unique<PlaylistSource>(*this);
    m_librarySource = std::make_unique<LibrarySource>(*this);
    m_stationSource = std::make_unique<StationSource>(*this);
    m_linkSource = std::make_unique<LinkSource>(*this);
    auto list = [this](int id, ListSource& source, const char* name) {
        auto* panel = new ListPanel(source, m_face);
        panel->setGeometry(kPanelX, kPanelY, kPanelWidth, kPanelHeight);
        panel->setAccessibleName(name);
        m_lists[id] = panel;
    };
    list(kPlaylistList, *m_playlistSource, "Playlist");
    list(kLibraryList, *m_librarySource, "Library");
    list(kStationList, *m_stationSource, "Stations");
    list(kLinkList, *m_linkSource, "Links");
    for (int id : LaidOutControls()) {
        auto* control = new SkinControl(id, *this, m_face);
        control->setAccessibleName(Caption(id));
        control->setToolTip(Caption(id));
        m_controls[id] = control;
        PlaceControl(id);
    }
}

QWidget* PlayerWindow::ControlWidget(int id) const
{
    if (auto it = m_controls.find(id); it != m_controls.end())
        return it->second;
    if (auto it = m_lists.find(id); it != m_lists.end())
        return it->second;
    return nullptr;
}

void PlayerWindow::PlaceControl(int id)
{
    SkinControl* control = m_controls[id];
    Placement p = ui::PlaceControl(id, m_mode, m_view);
    const QPixmap& bitmap = m_skin.Bitmap(p.bitmap);
    Size size = CellSize(bitmap.width(), bitmap.height(), p.columns, p.rows);
    if (!ControlEnabled(id, m_mode, m_view))
        size.width = 0;
    control->setGeometry(p.x, p.y, size.width, size.height);
    control->setVisible(size.width > 0);
    control->update();
}

void PlayerWindow::ApplyMode()
{
    for (int id : {kTrackTens, kTrackUnits, kLibrary, kLink, kRepeat, kShuffle, kFbwd, kStop, kPlay, kPause, kFfwd,
                   kStateLamp, kMinutesTens, kMinutesUnits})
        PlaceControl(id);
    Repaint({kStateLamp, kMinutesTens, kMinutesUnits, kSecondsTens, kSecondsUnits, kTrackTens, kTrackUnits,
             kPlayModeLamp, kPositionBar, kScreen, kTrackRadio, kModeMp3, kModeRadio, kPlaylist, kModePanel});
}

void PlayerWindow::ApplyView()
{
    for (auto& [id, panel] : m_lists)
        panel->setVisible(ControlEnabled(id, m_mode, m_view));
    for (int id : {kAdd, kDelete, kMoveUp, kMoveDown, kStop, kShuffle, kRepeat, kScreen})
        PlaceControl(id);
    Repaint({kAdd, kDelete, kMoveUp, kMoveDown, kInfo, kLibrary, kLink, kPlaylist, kRadioButton, kPlayModeLamp,
             kModePanel, kScreen, kView});
}

void PlayerWindow::Repaint(std::initializer_list<int> ids)
{
    for (int id : ids) {
        if (QWidget* w = ControlWidget(id))
            w->update();
    }
}

void PlayerWindow::SetMode(int mode)
{
    if (mode == m_mode)
        return;
    if (mode == 1 && m_player) {
        // Entering radio mode is the full stop first.
        m_engine.StopAll();
    }
    m_mode = mode;
    app::EmitEvent("mode", std::to_string(mode));
    ApplyMode();
    ApplyView();
    if (mode == 1 && m_player && app::FrontEndStationDirectory().Rows().empty())
        FetchDirectory();
    FocusList();
}

void PlayerWindow::SetView(int view)
{
    if (view == m_view)
        return;
    m_view = view;
    if (m_player)
        m_player->SetView(view);
    app::EmitEvent("view", std::to_string(view));
    ApplyView();
    if (view == kViewLinks && m_player && m_links.empty())
        FetchLinks();
    FocusList();
}

void PlayerWindow::PressModeButton(bool radio)
{
    Command(radio ? kModeRadio : kModeMp3, kCodePressed);
}

void PlayerWindow::FocusList()
{
    int id = m_mode == 1              ? kStationList
             : m_view == kViewLibrary ? kLibraryList
             : m_view == kViewLinks   ? kLinkList
                                      : kPlaylistList;
    if (m_lists[id]->isVisible())
        m_lists[id]->setFocus();
}

void PlayerWindow::Attach(app::PlayerControl& player, std::function<void()> requestQuit)
{
    m_player = &player;
    m_requestQuit = std::move(requestQuit);
    bool control = m_controlMode;
    InstallDialogPresenters(this, control);
    app::SetCdArrivalView([this](bool loaded) { CdArrived(loaded); });
    if (engine::MciSources* mci = m_engine.Mci()) {
        // A video file shows its picture on the information screen, pressing Info
        // once its play has returned.
        mci->SetVideoPanel(kPanelWidth, kPanelHeight, [this] {
            QMetaObject::invokeMethod(
                this, [this] { Command(kInfo, kCodePressed); }, Qt::QueuedConnection);
        });
    }
    engine::SetCdInfoPresenter([this, control](engine::CdDiscNames& names, int track) {
        if (control)
            app::EmitEvent("dialog", "Audio CD Information");
        return RunCdInfoDialog(names, track, this);
    });
    show();
}

// A CD-track row of the playlist selected: with both mouse buttons the naming
// dialog, then every row's names read again; with one, the hint toggles.
void PlayerWindow::CdTrackRowSelected(int row, bool bothButtons)
{
    if (row < 0 || row >= m_player->RowCount() || m_player->Playlist().RowItem(row).mediaType != MEDIA_CDTRACK)
        return;
    if (!bothButtons) {
        ShowHint(!(m_hint && m_hint->isVisible()));
        return;
    }
    ShowHint(false);
    m_player->NameCdTrack(row);
    for (auto& [id, panel] : m_lists)
        panel->update();
}

void PlayerWindow::ShowHint(bool shown)
{
    if (!shown) {
        if (m_hint && m_hint->isVisible()) {
            m_hint->hide();
            if (m_controlMode)
                app::EmitEvent("hint");
        }
        return;
    }
    if (!m_hint) {
        auto* label = new QLabel("Click both mouse buttons to name the track", this, Qt::ToolTip);
        label->setFixedSize(200, 20);
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet("background: rgb(255, 255, 225); color: black; border: 1px solid black;");
        m_hint = label;
    }
    m_hint->move(QCursor::pos() + QPoint(12, 12));
    m_hint->show();
    if (m_controlMode)
        app::EmitEvent("hint", "Click both mouse buttons to name the track");
}

// A disc arrived and was read: its playlist when it had one, else the library
// with the disc's entries open.
void PlayerWindow::CdArrived(bool playlistLoaded)
{
    if (m_mode != 0)
        return;
    SetView(playlistLoaded ? kViewList : kViewLibrary);
    if (playlistLoaded)
        m_lists[kPlaylistList]->EnsureVisible(0);
    for (auto& [id, panel] : m_lists)
        panel->update();
    RefreshControls();
}

void PlayerWindow::Detach()
{
    m_closing = true;
    m_player = nullptr;
    app::SetCdArrivalView(nullptr);
    engine::SetCdInfoPresenter(nullptr);
    if (engine::MciSources* mci = m_engine.Mci())
        mci->SetVideoPanel(0, 0, nullptr);
    ShowHint(false);
    RemoveDialogPresenters();
    close();
}

void PlayerWindow::Raise()
{
    showNormal();
    raise();
    activateWindow();
}

void PlayerWindow::closeEvent(QCloseEvent* e)
{
    e->accept();
    if (!m_closing && m_requestQuit) {
        m_closing = true;
        // Shut down once this event has returned.
        QMetaObject::invokeMethod(
            this, [quit = m_requestQuit] { quit(); }, Qt::QueuedConnection);
    }
}

bool PlayerWindow::Playing() const
{
    return m_engine.State() == engine::kStatePlaying;
}

bool PlayerWindow::Loaded() const
{
    const MediaItem& item = m_engine.CurrentItem();
    return item.layer != -1 && item.path[0] != '\0' && m_engine.State() != engine::kStateIdle;
}

void PlayerWindow::ControlPressed(int id, QPoint at)
{
    if (id == kFbwd || id == kFfwd)
        m_stepState = id == kFbwd ? -1 : 1;
    if (id == kKnob) {
        QPoint cursor = m_controls[id]->mapTo(m_face, at);
        m_knob = engine::BeginKnobDrag(cursor.x(), cursor.y(), m_engine.Volume().Volume());
        return;
    }
    if (id == kPositionBar) {
        if (m_mode != 0 || m_dragStartX >= 0)
            return;
        m_skip = 0;
        m_dragStartX = at.x();
        m_dragFirst = true;
        FocusList();
        ControlDragged(id, at);
        return;
    }
    Command(id, kCodePressed);
}

void PlayerWindow::ControlDragged(int id, QPoint at)
{
    if (id == kKnob) {
        SkinControl* knob = m_controls[id];
        QPoint centre = knob->geometry().center();
        QPoint cursor = knob->mapTo(m_face, at);
        int32_t volume =
            engine::TurnKnob(m_knob, centre.x(), centre.y(), cursor.x(), cursor.y(), m_engine.Volume().Volume());
        if (m_player)
            m_player->SetVolume(volume);
        knob->update();
        return;
    }
    if (id == kPositionBar && m_dragStartX >= 0) {
        m_dragBarX = at.x();
        UpdateStatusText();
        m_controls[kPositionBar]->update();
        m_controls[kStatusText]->update();
    }
}

void PlayerWindow::ControlReleased(int id, QPoint at)
{
    if (id == kFbwd || id == kFfwd) {
        m_stepState = 0;
        m_controls[id]->update();
    }
    if (id == kPositionBar && m_dragStartX >= 0) {
        m_dragBarX = at.x();
        m_dragStartX = -1;
        const MediaItem& item = m_engine.CurrentItem();
        if (Loaded() && m_player) {
            const int64_t target = SeekTarget(m_dragBarX, m_grab, m_skip, item.fileSize);
            m_player->SeekTo(target);
        }
        m_skip = 0;
        m_dragReadout.clear();
        UpdateStatusText();
        RefreshControls();
        return;
    }
    if (ReportsRelease(id))
        Command(id, kCodeReleased);
}

void PlayerWindow::Command(int id, int code)
{
    if (!m_player || m_closing)
        return;
    ShowHint(false);
    bool pressed = code == kCodePressed || code == kCodeDoubleClick;
    bool radio = m_mode == 1;
    if (code == kCodeReleased) {
        RefreshControls();
        return;
    }
    switch (id) {
    case kPlay:
        if (!radio)
            Play();
        break;
    case kPause:
        if (!radio && m_engine.CurrentItem().streamState != 1)
            m_player->Pause();
        break;
    case kStop:
    case 2: // Escape
        if (radio)
            m_engine.StopAll();
        else
            m_player->Stop();
        break;
    case kFbwd:
        Step(-1);
        break;
    case kFfwd:
        Step(1);
        break;
    case kAdd:
        if (pressed)
            Add();
        break;
    case kMute:
        m_player->ToggleMute();
        break;
    case kShuffle:
        m_player->ToggleShuffle();
        break;
    case kRepeat:
        m_player->ToggleRepeat();
        break;
    case kView:
    case kMenuInfoPlaylist:
        SetView(m_view == kViewInfo ? kViewList : kViewInfo);
        break;
    case kModeMp3:
        SetMode(0);
        break;
    case kModeRadio:
        SetMode(1);
        break;
    case kRadioButton:
        SetMode(radio ? 0 : 1);
        break;
    case kDelete:
    case kMoveUp:
    case kMoveDown:
        ListButton(id);
        break;
    case kLibrary:
        SetView(kViewLibrary);
        break;
    case kPlaylist:
        SetView(kViewList);
        break;
    case kInfo:
        SetView(kViewInfo);
        ShowInfoPreview();
        break;
    case kLink:
        SetView(kViewLinks);
        break;
    default:
        break;
    }
    RefreshControls();
}

void PlayerWindow::Play()
{
    if (m_engine.CurrentItem().streamState == 1)
        return;
    auto state = m_engine.State();
    bool stopped = state != engine::kStatePlaying && state != engine::kStatePaused;
    if (stopped && m_view != kViewInfo && m_player->RowCount() == 0) {
        // Nothing to play: the open-file dialog; what it adds plays from row 0.
        AddChosenFiles(AskForFiles());
        if (m_player->RowCount() == 0)
            return;
        m_player->SelectRow(0);
        SetView(kViewInfo);
        m_player->SetView(kViewList);
        m_player->Play();
        m_player->SetView(m_view);
    } else {
        m_player->Play();
    }
    m_lists[kPlaylistList]->EnsureVisible(m_player->Index());
}

void PlayerWindow::Step(int direction)
{
    if (m_mode == 1) {
        web::StationDirectory& directory = app::FrontEndStationDirectory();
        m_lists[kStationList]->setEnabled(false);
        int opened = directory.OpenStationByIndex(directory.CurrentStation() + direction);
        m_lists[kStationList]->setEnabled(true);
        if (opened == 1)
            SetView(kViewInfo);
        return;
    }
    m_stepState = 2 * direction;
    m_controls[direction < 0 ? kFbwd : kFfwd]->repaint();
    if (direction < 0)
        m_player->Previous();
    else
        m_player->Next();
    m_stepState = 0;
    m_controls[direction < 0 ? kFbwd : kFfwd]->update();
    m_lists[kPlaylistList]->EnsureVisible(m_player->Index());
    m_lists[kPlaylistList]->update();
}

void PlayerWindow::Add()
{
    if (m_mode == 1) {
        if (m_view == kViewInfo) {
            std::string web = app::RadioDisplayBlock().webAddress;
            if (web.empty())
                platform::ShowMessageBox(kProductTitle, "Web link not available.");
            else
                OpenAddress(web);
            return;
        }
        // Refresh the directory with Add held lit and MP3 disabled meanwhile.
        m_addLit = true;
        m_controls[kModeMp3]->setEnabled(false);
        m_controls[kAdd]->repaint();
        FetchDirectory();
        m_controls[kModeMp3]->setEnabled(true);
        m_addLit = false;
        m_controls[kAdd]->update();
        return;
    }
    switch (m_view) {
    case kViewLibrary:
        AddLibrarySelection();
        break;
    case kViewInfo: {
        std::string link = m_engine.CurrentItem().webLink;
        if (!link.empty())
            OpenAddress(link);
        break;
    }
    case kViewLinks:
        if (m_linkSelected >= 0 && m_linkSelected < static_cast<int>(m_links.size()))
            OpenAddress(m_links[static_cast<size_t>(m_linkSelected)]);
        break;
    default:
        AddChosenFiles(AskForFiles());
        break;
    }
}

void PlayerWindow::ListButton(int id)
{
    if (m_mode == 1) {
        const radio::RadioDisplay& display = app::RadioDisplayBlock();
        if (id == kDelete && m_view == kViewInfo) {
            std::string email = display.email;
            if (email.empty())
                platform::ShowMessageBox(kProductTitle, "Email not available.");
            else
                OpenAddress("mailto:" + email);
        } else if (id == kMoveUp && m_view == kViewInfo) {
            platform::ShowMessageBox(kProductTitle, "Chat with the broadcaster, how?");
        } else if (id == kMoveDown) {
            StopRadio();
        }
        return;
    }
    if (m_view == kViewList) {
        DispatchPlaylistCommand(id == kDelete ? "delete" : id == kMoveUp ? "up" : "down");
        m_lists[kPlaylistList]->update();
    } else if (m_view == kViewLibrary && id == kDelete) {
        RemoveLibrarySelection();
    }
}

// Delete in the library view: the selected song leaves the library; the row now
// at its place (or the one before, after the last) is selected.
void PlayerWindow::RemoveLibrarySelection()
{
    playlist::Library* library = m_player->LibraryList();
    int row = m_player->SelectedLibraryRow();
    if (!library || library->Busy() || !library->RemoveRow(row))
        return;
    int count = static_cast<int>(library->Rows().size());
    m_player->SelectLibraryRow(row < count ? row : count - 1);
    m_lists[kLibraryList]->update();
}

void PlayerWindow::StopRadio()
{
    m_fiveLit = true;
    m_controls[kMoveDown]->repaint();
    radio::CloseReceiver();
    Wait(500);
    m_engine.SetLevel(0);
    m_controls[kLevelMeter]->update();
    m_fiveLit = false;
    m_controls[kMoveDown]->update();
    Command(kPlaylist, kCodePressed);
}

// Info when nothing plays: the selected row is shown without being played.
void PlayerWindow::ShowInfoPreview()
{
    auto state = m_engine.State();
    if (state == engine::kStatePlaying || state == engine::kStatePaused)
        return;
    int row = m_player->Playlist().Selected();
    if (row < 0 || row >= m_player->RowCount())
        return;
    const std::string path = m_player->Playlist().RowItem(row).path;
    std::lock_guard lock(m_engine.Lock());
    MediaItem& item = m_engine.CurrentItem();
    item = MakeMediaItem();
    std::strncpy(item.path, path.c_str(), sizeof item.path - 1);
    item.layer = -1;
    std::strcpy(item.title, "Title n/a");
    std::strcpy(item.performer, "performer n/a");
    engine::FillMediaInfo(item, m_engine.Decoder());
}

// Add in the library view: the selected library row joins the playlist.
void PlayerWindow::AddLibrarySelection()
{
    playlist::Library* library = m_player->LibraryList();
    if (!library || library->Busy())
        return;
    std::optional<playlist::LibraryEntry> entry = library->EntryOfRow(m_player->SelectedLibraryRow());
    std::optional<MediaItem> item = entry ? library->ItemOf(*entry) : std::nullopt;
    if (!item)
        return;
    if (!Playing())
        platform::audio::TheSoundPlayer().PlayResource("copying", false);
    m_player->AddEntry(item->path);
    m_controls[kPlayModeLamp]->update();
}

bool PlayerWindow::DispatchPlaylistCommand(const std::string& line)
{
    // The playlist's own operations are commands of the shared front end.
    return app::DispatchHeadlessLine(line);
}

void PlayerWindow::FetchDirectory()
{
    app::RunWebCommandInOrder([] { app::FrontEndStationDirectory().FetchStationDirectory(); });
    m_lists[kStationList]->update();
}

void PlayerWindow::FetchLinks()
{
    app::RunWebCommandInOrder([this] { m_links = web::FetchLinkList(web::ProcessHttpFetcher()); });
    m_lists[kLinkList]->update();
}

void PlayerWindow::StationListChanged(int row)
{
    web::StationDirectory& directory = app::FrontEndStationDirectory();
    m_lists[kStationList]->setEnabled(false);
    int opened = 0;
    app::RunWebCommandInOrder([&] {
        directory.Select(row);
        opened = directory.ActivateDirectoryRow();
    });
    m_lists[kStationList]->setEnabled(true);
    m_lists[kStationList]->update();
    if (opened == 1)
        SetView(kViewInfo);
    RefreshControls();
}

QStringList PlayerWindow::AskForFiles()
{
    if (m_controlMode)
        app::EmitEvent("dialog", "Open");
    return QFileDialog::getOpenFileNames(
        this, "Open", QString(),
        "Supported formats (*.mp3 *.wav *.cda *.mid *.rmi *.asf *.wma);;MP3 (*.mp3);;MIDI (*.mid *.rmi);;"
        "WAVE (*.wav);;Audio CD (*.cda);;ASF/WMA (*.wma *.asf)");
}

void PlayerWindow::AddFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        QByteArray bytes = path.toLocal8Bit();
        if (bytes.size() > 4096)
            continue;
        std::string name = bytes.toStdString();
        std::error_code error;
        if (std::filesystem::is_directory(name, error)) {
            // A folder: its playable files join as one selection would.
            std::vector<std::string> files = FilesUnderFolder(name);
            if (!files.empty())
                m_player->Playlist().AddPaths(files);
        } else {
            m_player->AddEntry(name);
        }
    }
    m_lists[kPlaylistList]->update();
    m_controls[kPlayModeLamp]->update();
}

// The open dialog's answer: the files join together, as one multiple selection.
void PlayerWindow::AddChosenFiles(const QStringList& paths)
{
    std::vector<std::string> names;
    for (const QString& path : paths)
        names.push_back(path.toLocal8Bit().toStdString());
    if (!names.empty())
        m_player->Playlist().AddPaths(names);
    m_lists[kPlaylistList]->update();
    m_controls[kPlayModeLamp]->update();
}

void PlayerWindow::OpenAddress(const std::string& address)
{
    if (m_controlMode)
        app::EmitEvent("open", address);
    QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

void PlayerWindow::MenuCommand(int id)
{
    if (!m_player)
        return;
    ShowHint(false);
    switch (id) {
    case kMenuOpenSong:
        // New Playlist (which asks to save first, where the playlist offers it), then Add.
        if (!DispatchPlaylistCommand("new"))
            m_player->ClearPlaylist();
        SetView(kViewList);
        Add();
        break;
    case kMenuNewPlaylist:
        if (!DispatchPlaylistCommand("new"))
            m_player->ClearPlaylist();
        SetView(kViewList);
        break;
    case kMenuOpenPlaylist: {
        QString path = QFileDialog::getOpenFileName(this, "Open Playlist", QString(), "Playlist (*.lst)");
        if (!path.isEmpty())
            DispatchPlaylistCommand("load " + path.toStdString());
        SetView(kViewList);
        break;
    }
    case kMenuSavePlaylist:
        DispatchPlaylistCommand("save");
        SetView(kViewList);
        break;
    case kMenuSavePlaylistAs: {
        QString path = QFileDialog::getSaveFileName(this, "Save Playlist As", QString(), "Playlist (*.lst)");
        if (!path.isEmpty())
            DispatchPlaylistCommand("save " + path.toStdString());
        SetView(kViewList);
        break;
    }
    case kMenuExit:
        close();
        break;
    case kMenuPreferences:
        platform::ShowDialog(settings::kPreferencesTitle);
        break;
    case kMenuInfoPlaylist:
        Command(kView, kCodePressed);
        break;
    case kMenuHelp:
        OpenAddress("file://" + QCoreApplication::applicationDirPath().toStdString() + "/Lumetra.hlp");
        break;
    case kMenuOnline:
        OpenAddress("http://127.0.0.1:8642/");
        break;
    case kMenuAbout:
        platform::ShowDialog("About");
        break;
    case kMenuMp3Mode:
        Command(kModeMp3, kCodePressed);
        break;
    case kMenuRadioMode:
        Command(kModeRadio, kCodePressed);
        break;
    case kMenuBuildLibrary: {
        auto state = m_engine.State();
        if (state == engine::kStateIdle || state == engine::kStateStopped)
            DispatchPlaylistCommand("library-build");
        SetView(kViewLibrary);
        break;
    }
    default:
        break;
    }
    RefreshControls();
}

int PlayerWindow::StepSkip(int sign) const
{
    const MediaItem& item = m_engine.CurrentItem();
    return sign * SkipStep(item.sampleRate, item.totalSamples);
}

void PlayerWindow::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        Command(2, kCodePressed);
        return;
    }
    QMainWindow::keyPressEvent(e);
}

void PlayerWindow::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void PlayerWindow::dropEvent(QDropEvent* e)
{
    QStringList paths;
    for (const QUrl& url : e->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    if (m_player)
        AddFiles(paths);
    e->acceptProposedAction();
}

} // namespace lumetra::ui
