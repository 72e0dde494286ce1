// What each skinned control shows, and the timer that keeps it current.

#include "app/headless.h"
#include "app/headless_radio.h"
#include "app/headless_web.h"
#include "app/player_control.h"
#include "engine/mci_sources.h"
#include "engine/media_item_text.h"
#include "radio/receiver/receiver.h"
#include "ui/control_ids.h"
#include "ui/layout_table.h"
#include "ui/outlined_text.h"
#include "ui/player_window.h"
#include "ui/position_bar.h"
#include "web/station_directory.h"

#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace lumetra::ui {
namespace {

const QColor kStatusColour(96, 255, 160);
const QColor kOrange(232, 143, 26);
constexpr const char* kWelcomeText = " Welcome to Lumetra Media Player";

int64_t NowSeconds()
{
    using namespace std::chrono;
    return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
}

int Digit(int64_t value, int divisor)
{
    return value < 0 ? 0 : static_cast<int>(value / divisor % 10);
}

} // namespace

int PlayerWindow::KnobColumn() const
{
    return std::min(30, static_cast<int>((m_engine.Volume().Volume() & 0xFFFF) >> 11));
}

PlayerWindow::Cell PlayerWindow::ChooseCell(int id, bool pressed) const
{
    Placement p = ui::PlaceControl(id, m_mode, m_view);
    Cell c{p.bitmap, p.columns, p.rows, 0, 0};
    bool radio = m_mode == 1;
    auto state = m_engine.State();
    auto lit = [&](bool on) { c.row = on || pressed ? 1 : 0; };
    const MediaItem& item = m_engine.CurrentItem();
    const int64_t rate = item.sampleRate > 0 ? item.sampleRate : 1;
    const int64_t seconds = Loaded() ? m_engine.PlayedPosition() / rate : 0;
    int station = radio && m_player ? app::FrontEndStationDirectory().CurrentStation() + 1 : 0;
    int track = m_player && state != engine::kStateStopped && state != engine::kStateIdle ? m_player->Index() + 1 : 0;
    bool playPressed = m_controls.count(kPlay) && m_controls.at(kPlay)->Pressed();
    switch (id) {
    case kPlay:
        lit(state == engine::kStatePlaying && m_stepState == 0);
        break;
    case kPause:
        lit(state == engine::kStatePaused && m_stepState == 0);
        break;
    case kStop:
        if (radio)
            c.row = 0;
        else
            lit((state == engine::kStateStopped || state == engine::kStateIdle) && m_stepState == 0 && !playPressed);
        break;
    case kFbwd:
        lit(m_stepState == -2);
        break;
    case kFfwd:
        lit(m_stepState == 2);
        break;
    case kAdd:
        lit(m_addLit);
        break;
    case kMute:
        lit(m_engine.Volume().Muted());
        break;
    case kShuffle:
        lit(m_player && m_player->Shuffle());
        break;
    case kRepeat:
        lit(m_player && m_player->Repeat());
        break;
    case kView:
        c.row = (m_view == kViewInfo ? 2 : 0) + (pressed ? 1 : 0);
        break;
    case kKnob:
        c.column = KnobColumn();
        break;
    case kModePanel: {
        static constexpr int kRows[] = {1, 0, 2, 4, 3};
        c.row = radio ? 6 : kRows[std::clamp(m_view, 0, 4)];
        break;
    }
    case kPlayModeLamp:
        c.row = radio ? 2 : (m_view == kViewLibrary || !m_player || m_player->RowCount() < 2) ? 1 : 0;
        break;
    case kStateLamp:
        if (radio) {
            c = Cell{39, 10, 1, Digit(station, 10000), 0};
        } else {
            c.column = state == engine::kStatePlaying   ? 0
                       : state == engine::kStatePaused  ? 1
                       : state == engine::kStateStopped ? 2
                                                        : 3;
        }
        break;
    case kTrackTens:
        c.column = Digit(track, 10);
        break;
    case kTrackUnits:
        c.column = Digit(track, 1);
        break;
    case kMinutesTens:
        c.column = radio ? Digit(station, 1000) : Digit(seconds / 60, 10);
        break;
    case kMinutesUnits:
        c.column = radio ? Digit(station, 100) : Digit(seconds / 60, 1);
        break;
    case kSecondsTens:
        c.column = radio ? Digit(station, 10) : Digit(seconds % 60, 10);
        break;
    case kSecondsUnits:
        c.column = radio ? Digit(station, 1) : Digit(seconds % 60, 1);
        break;
    case kTrackRadio:
        c.row = radio ? 1 : 0;
        break;
    case kModeMp3:
        lit(!radio);
        break;
    case kModeRadio:
        lit(radio);
        break;
    case kLibrary:
        lit(m_view == kViewLibrary);
        break;
    case kPlaylist:
        lit(m_view == kViewList);
        break;
    case kInfo:
        lit(m_view == kViewInfo);
        break;
    case kLink:
        lit(m_view == kViewLinks);
        break;
    case kMoveDown:
        lit(m_fiveLit);
        break;
    default:
        lit(false);
        break;
    }
    return c;
}

// A number that changes whenever the control's picture would.
long PlayerWindow::PictureKey(int id) const
{
    switch (id) {
    case kLevelMeter:
        return (m_engine.Level() >> 8) & ~1;
    case kPositionBar: {
        const MediaItem& item = m_engine.CurrentItem();
        if (m_mode == 1)
            return static_cast<long>(std::hash<std::string>()(app::RadioDisplayBlock().location));
        if (!Loaded())
            return -1;
        return m_dragStartX >= 0 ? 1000 + m_dragBarX : ThumbX(m_engine.PlayedPosition(), item.totalSamples);
    }
    case kStatusText:
        return static_cast<long>(std::hash<std::string>()(m_status));
    case kScreen:
        return -2; // repainted by the timer
    default:
        break;
    }
    bool pressed = m_controls.count(id) && m_controls.at(id)->Pressed();
    Cell c = ChooseCell(id, pressed);
    return ((c.bitmap * 64L + c.column) * 16 + c.row) * 2 + (pressed ? 1 : 0);
}

void PlayerWindow::RefreshControls()
{
    for (auto& [id, control] : m_controls) {
        if (id == kScreen || control->width() == 0)
            continue;
        long key = PictureKey(id);
        auto it = m_shownKeys.find(id);
        if (it == m_shownKeys.end() || it->second != key) {
            m_shownKeys[id] = key;
            control->update();
        }
    }
}

void PlayerWindow::PaintSkinUnder(QPainter& painter, int id)
{
    QRect area = m_controls[id]->geometry();
    painter.drawPixmap(QPoint(0, 0), m_skin.Background(), area);
}

void PlayerWindow::PaintControl(int id, QPainter& painter, bool pressed)
{
    m_shownKeys[id] = PictureKey(id);
    switch (id) {
    case kLevelMeter:
        PaintLevelMeter(painter);
        return;
    case kPositionBar:
        PaintPositionBar(painter);
        return;
    case kStatusText:
        PaintStatusText(painter);
        return;
    case kScreen:
        PaintScreen(painter);
        return;
    default:
        break;
    }
    Cell c = ChooseCell(id, pressed);
    m_skin.DrawCell(painter, c.bitmap, c.columns, c.rows, c.column, c.row);
}

// The meter's single cell, its source moved down by the level.
void PlayerWindow::PaintLevelMeter(QPainter& painter)
{
    const QPixmap& bitmap = m_skin.Bitmap(44);
    int w = bitmap.width(), h = bitmap.height() / 2;
    int shift = std::clamp((m_engine.Level() >> 8) & ~1, 0, h);
    painter.drawPixmap(0, 0, bitmap, 0, shift, w, h);
}

void PlayerWindow::PaintPositionBar(QPainter& painter)
{
    QRect area = m_controls[kPositionBar]->rect();
    if (m_mode == 1) {
        painter.fillRect(area, Qt::black);
        DrawOutlinedText(painter, 2, -2, QString::fromLocal8Bit(app::RadioDisplayBlock().location), kOrange);
        return;
    }
    PaintSkinUnder(painter, kPositionBar);
    if (!Loaded())
        return;
    const MediaItem& item = m_engine.CurrentItem();
    int x = ThumbX(m_engine.PlayedPosition(), item.totalSamples);
    if (m_dragStartX >= 0) {
        if (m_dragFirst) {
            m_grab = GrabOffset(m_dragStartX, x);
            m_dragFirst = false;
        }
        x = DragTo(m_dragBarX, m_grab, m_skip, item.totalSamples, item.sampleRate).thumbX;
    }
    // The track on both sides of the thumb, then the thumb.
    for (int tx = 0; tx < area.width(); tx += kThumbWidth)
        m_skin.DrawCell(painter, 25, 1, 2, 0, 0, tx, 0);
    m_skin.DrawCell(painter, 25, 1, 2, 0, 1, x, 0);
}

void PlayerWindow::PaintStatusText(QPainter& painter)
{
    PaintSkinUnder(painter, kStatusText);
    DrawOutlinedText(painter, 0, -1, QString::fromLocal8Bit(m_status.c_str()), kStatusColour);
}

void PlayerWindow::PaintScreen(QPainter& painter)
{
    m_skin.DrawCell(painter, 48, 1, 1, 0, 0);
    auto text = [&](int x, int y, const QString& s, QColor colour = Qt::white) {
        DrawOutlinedText(painter, x, y, s, colour);
    };
    if (m_view == kViewVersion) {
        text(190, 110, "ver 1.31");
        return;
    }
    if (m_mode == 1) {
        const radio::RadioDisplay& d = app::RadioDisplayBlock();
        if (!d.active)
            return;
        text(10, 6, QString::fromLocal8Bit(d.stationName));
        text(10, 21, QString::fromLocal8Bit(d.location));
        DrawOutlinedText(painter, QRect(QPoint(10, 35), QPoint(236, 80)), QString::fromLocal8Bit(d.description),
                         Qt::white);
        if (radio::Receiver* receiver = radio::CurrentReceiver()) {
            int figure = receiver->Session().Blocks().Vars().bitRateFigure;
            int coded = receiver->Session().Protocol().State().codedRate;
            if (figure > 0)
                text(10, 95,
                     QString("Bit Rate: %1kbps (%2)")
                         .arg(int64_t{figure} * coded / 256 / 1000)
                         .arg(coded >= 16000 ? "Music" : "Voice"));
        }
        bool steady = d.statusFlags[0] == 's';
        if (steady || m_blink == 1 || m_blink == 2) {
            bool alarm = d.statusFlags[1] == 'r';
            QColor colour = alarm ? QColor(255, 0, 0) : QColor(Qt::white);
            DrawOutlinedText(painter, 10, 111, QString::fromLocal8Bit(d.statusText), colour,
                             alarm ? QColor(128, 0, 0) : QColor(Qt::black));
        }
        m_blink = (m_blink + 1) % 3;
        return;
    }
    if (m_videoPlaying && m_videoPixels.size() == static_cast<std::size_t>(kPanelWidth) * kPanelHeight) {
        QImage picture(reinterpret_cast<const uchar*>(m_videoPixels.data()), kPanelWidth, kPanelHeight, kPanelWidth * 4,
                       QImage::Format_RGB32);
        painter.drawImage(0, 0, picture);
        return;
    }
    const MediaItem& item = m_engine.CurrentItem();
    if (item.path[0] == '\0' && item.mediaType == MEDIA_NONE)
        return;
    std::string title = item.title[0] ? std::string(item.title, strnlen(item.title, sizeof item.title))
                                      : engine::ItemDisplayName(item, item.path);
    text(10, 11, QString::fromLocal8Bit(engine::ItemDisplayName(item, item.path).c_str()));
    text(10, 26, "Title: " + QString::fromLocal8Bit(title.c_str()));
    text(10, 42,
         "Performer: " + QString::fromLocal8Bit(
                             std::string(item.performer, strnlen(item.performer, sizeof item.performer)).c_str()));
    text(10, 58, item.bitrate > 0 ? QString("Bit rate: %1kbps").arg(item.bitrate) : QString("Bit rate: n/a"));
    text(10, 74, QString("Sampling rate: %1Hz").arg(item.sampleRate));
    text(10, 90,
         "Web Page: " +
             QString::fromLocal8Bit(std::string(item.webLink, strnlen(item.webLink, sizeof item.webLink)).c_str()));
}

void PlayerWindow::UpdateStatusText()
{
    std::string text = kWelcomeText;
    const MediaItem& item = m_engine.CurrentItem();
    if (m_mode == 1) {
        std::string name = app::RadioDisplayBlock().stationName;
        text = name.empty() ? "Lumetra Media Player (tm)" : name;
    } else if (m_dragStartX >= 0 && Loaded()) {
        int x = ThumbX(m_engine.PlayedPosition(), item.totalSamples);
        int grab = m_dragFirst ? GrabOffset(m_dragStartX, x) : m_grab;
        text = SeekReadout(DragTo(m_dragBarX, grab, m_skip, item.totalSamples, item.sampleRate));
        if (text != m_dragReadout) {
            m_dragReadout = text;
            app::EmitEvent("status", text);
        }
    } else if (item.streamState == 1 && !app::StreamStatusText().empty()) {
        // The stream file is filling: how much has arrived.
        text = app::StreamStatusText();
    } else if (item.layer != -1 && item.sampleRate > 0 && m_engine.State() != engine::kStateIdle) {
        const int64_t seconds = item.totalSamples / item.sampleRate;
        char line[300];
        std::snprintf(line, sizeof line, " %s (%lld:%02d)", engine::ItemDisplayName(item, item.path).c_str(),
                      static_cast<long long>(seconds / 60), static_cast<int>(seconds % 60));
        text = line;
    }
    if (text != m_status) {
        m_status = text;
        m_controls[kStatusText]->update();
    }
}

// A newer video picture repaints the screen; so does the video's end.
void PlayerWindow::TakeVideoPicture()
{
    engine::MciSources* mci = m_engine.Mci();
    bool playing = false;
    bool newer = mci && mci->TakeVideoPicture(m_videoPixels, m_videoSerial, playing);
    if (newer || playing != m_videoPlaying) {
        m_videoPlaying = playing;
        if (m_controls[kScreen]->width() > 0)
            m_controls[kScreen]->update();
    }
}

void PlayerWindow::Tick()
{
    if (m_closing || !m_player)
        return;
    ++m_ticks;
    TakeVideoPicture();
    if (Playing() || m_mode == 1) {
        long key = PictureKey(kLevelMeter);
        if (m_shownKeys[kLevelMeter] != key)
            m_controls[kLevelMeter]->update();
    }
    if (m_ticks == 15) {
        for (auto& [id, panel] : m_lists) {
            if (panel->isVisible())
                panel->update();
        }
    }
    if (m_mode == 1 && ++m_radioTicks >= 10) {
        // The radio screen blinks an unsteady status line.
        m_radioTicks = 0;
        if (m_controls[kScreen]->width() > 0)
            m_controls[kScreen]->update();
    }
    if (m_ticks < 26) {
        if (m_engine.CurrentItem().streamState == 1 && m_mode == 0)
            UpdateStatusText();
        if (m_dragStartX >= 0)
            RefreshControls();
        return;
    }
    m_ticks = 0;
    ++m_markerPulse;
    for (auto& [id, panel] : m_lists) {
        if (panel->isVisible())
            panel->update();
    }
    if (m_mode == 1) {
        web::StationDirectory& directory = app::FrontEndStationDirectory();
        if (directory.RefreshDue(NowSeconds()))
            FetchDirectory();
    } else if (m_view == kViewInfo || m_view == kViewVersion) {
        m_controls[kScreen]->update();
    }
    UpdateStatusText();
    RefreshControls();
}

} // namespace lumetra::ui
