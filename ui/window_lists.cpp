#include "ui/window_lists.h"
#include "app/headless_web.h"
#include "app/player_control.h"
#include "engine/media_dispatch.h"
#include "engine/media_item_text.h"
#include "ui/control_ids.h"
#include "ui/outlined_text.h"
#include "web/station_directory.h"

#include <QKeyEvent>
#include <QPainter>

#include <cstring>

namespace lumetra::ui {
namespace {

// Selected rows are drawn inverse: black on the row's own text colour.
void DrawRowText(QPainter& painter, const QRect& rect, int x, const QString& text, QColor colour, bool selected)
{
    if (selected) {
        int width = painter.fontMetrics().horizontalAdvance(text);
        painter.fillRect(QRect(rect.left() + x, rect.top(), width, rect.height()), colour);
        painter.setPen(Qt::black);
        painter.drawText(rect.left() + x, rect.top() + 1 + painter.fontMetrics().ascent(), text);
        return;
    }
    DrawOutlinedText(painter, rect.left() + x, rect.top(), text, colour);
}

// The pulsing play marker: single pixels in columns 0..7 whose blue flips
// between a value and 255 minus it on every repaint.
void DrawMarker(QPainter& painter, const QRect& rect, int pulse)
{
    int blue = pulse & 1 ? 60 : 255 - 60;
    QColor colour(255, 220, blue);
    for (int i = 0; i < 4; ++i) {
        for (int y = -i; y <= i; ++y) {
            painter.setPen(colour);
            painter.drawPoint(rect.left() + 6 - i, rect.center().y() + y);
        }
    }
    painter.drawPoint(rect.left() + 7, rect.center().y());
}

// A 7-pixel triangle: right when closed, down when open.
void DrawTriangle(QPainter& painter, const QRect& rect, int x, bool expanded)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(kLightYellow);
    int cy = rect.center().y();
    QPolygon triangle;
    if (expanded)
        triangle << QPoint(x, cy - 2) << QPoint(x + 6, cy - 2) << QPoint(x + 3, cy + 2);
    else
        triangle << QPoint(x + 1, cy - 3) << QPoint(x + 1, cy + 3) << QPoint(x + 5, cy);
    painter.drawPolygon(triangle.translated(rect.left(), 0));
    painter.setBrush(Qt::NoBrush);
}

QString LengthText(int row, const std::string& name, int64_t seconds)
{
    QString qname = QString::fromLocal8Bit(name.c_str());
    if (seconds <= 0)
        return QString(" %1. %2 ").arg(row + 1).arg(qname);
    return QString(" %1. %2 (%3:%4) ").arg(row + 1).arg(qname).arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

// Keys every list hands to the window.
bool CommonKey(PlayerWindow& window, int key)
{
    switch (key) {
    case Qt::Key_Space:
        window.Command(kPlay, kCodePressed);
        return true;
    case Qt::Key_Insert:
        window.Command(kAdd, kCodePressed);
        return true;
    default:
        return false;
    }
}

} // namespace

int PlayerWindow::PlaylistSource::RowCount()
{
    return m_window.m_player ? m_window.m_player->RowCount() : 0;
}

int PlayerWindow::PlaylistSource::SelectedRow()
{
    return m_window.m_player ? m_window.m_player->Playlist().Selected() : -1;
}

void PlayerWindow::PlaylistSource::DrawRow(QPainter& painter, int row, const QRect& rect, bool selected)
{
    const playlist::Playlist& list = m_window.m_player->Playlist();
    const MediaItem& item = list.RowItem(row);
    bool current = row == m_window.m_player->Index();
    QColor colour = current ? kLightYellow : QColor(Qt::white);
    std::string name = engine::ItemDisplayName(item, list.RowText(row).c_str());
    DrawRowText(painter, rect, 10, LengthText(row, name, engine::ItemSeconds(item)), colour, selected);
    if (current)
        DrawMarker(painter, rect, m_window.m_markerPulse);
}

void PlayerWindow::PlaylistSource::SelectionChanged(int row)
{
    m_window.m_player->SelectRow(row);
    m_window.CdTrackRowSelected(row, false);
}

void PlayerWindow::PlaylistSource::SelectedWithBothButtons(int row)
{
    m_window.m_player->SelectRow(row);
    m_window.CdTrackRowSelected(row, true);
}

void PlayerWindow::PlaylistSource::Activated(int row)
{
    m_window.m_player->PlayRow(row);
    m_window.RefreshControls();
}

bool PlayerWindow::PlaylistSource::KeyPressed(int key)
{
    if (CommonKey(m_window, key))
        return true;
    switch (key) {
    case Qt::Key_PageUp:
        m_window.Command(kFbwd, kCodePressed);
        return true;
    case Qt::Key_PageDown:
        m_window.Command(kFfwd, kCodePressed);
        return true;
    case Qt::Key_Delete:
        m_window.Command(kDelete, kCodePressed);
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (m_window.m_dragStartX < 0)
            return false;
        m_window.m_skip += m_window.StepSkip(key == Qt::Key_Left ? -1 : 1);
        m_window.UpdateStatusText();
        m_window.Repaint({kPositionBar, kStatusText});
        return true;
    default:
        return false;
    }
}

int PlayerWindow::LibrarySource::RowCount()
{
    playlist::Library* library = m_window.m_player ? m_window.m_player->LibraryList() : nullptr;
    m_rows = library ? library->Rows() : std::vector<playlist::LibraryRow>{};
    return static_cast<int>(m_rows.size());
}

int PlayerWindow::LibrarySource::SelectedRow()
{
    return m_window.m_player ? m_window.m_player->SelectedLibraryRow() : -1;
}

void PlayerWindow::LibrarySource::DrawRow(QPainter& painter, int row, const QRect& rect, bool selected)
{
    if (row >= static_cast<int>(m_rows.size()))
        return;
    const playlist::LibraryRow& r = m_rows[static_cast<size_t>(row)];
    playlist::Library& library = *m_window.m_player->LibraryList();
    QString text = QString::fromLocal8Bit(r.text.c_str());
    if (r.category < 0) {
        // The busy line names what the library is doing, by its state 1-5.
        static constexpr const char* kBusyTexts[] = {"Creating the library ...", "Loading the CD library ...",
                                                     "No music found on the CD.", "Please insert a CD.",
                                                     "Loading the library ..."};
        int state = library.State();
        if (state >= 1 && state <= 5)
            text = kBusyTexts[state - 1];
        DrawRowText(painter, rect, 3, text, Qt::white, false);
        return;
    }
    if (r.item < 0) {
        bool expanded = library.CategoryAt(r.category).expanded;
        DrawTriangle(painter, rect, 3, expanded);
        DrawRowText(painter, rect, 3 + 9, " " + text + " ", kLightYellow, selected);
        return;
    }
    std::optional<playlist::LibraryEntry> entry = library.EntryOfRow(row);
    std::optional<MediaItem> item = entry ? library.ItemOf(*entry) : std::nullopt;
    const int64_t seconds = item ? engine::ItemSeconds(*item) : 0;
    QString line = seconds > 0
                       ? QString(" %1 (%2:%3) ").arg(text).arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'))
                       : " " + text + " ";
    bool current =
        m_window.m_player->Index() == -2 && item && std::strcmp(item->path, m_window.m_engine.CurrentItem().path) == 0;
    DrawRowText(painter, rect, 10, line, current ? kLightYellow : QColor(Qt::white), selected);
    if (current)
        DrawMarker(painter, rect, m_window.m_markerPulse);
}

void PlayerWindow::LibrarySource::SelectionChanged(int row)
{
    m_window.m_player->SelectLibraryRow(row);
    playlist::Library* library = m_window.m_player->LibraryList();
    // A category opens or closes as it is clicked.
    if (library && !library->Busy() && row < static_cast<int>(m_rows.size()) &&
        m_rows[static_cast<size_t>(row)].item < 0)
        library->ToggleCategory(row);
}

void PlayerWindow::LibrarySource::Activated(int row)
{
    m_window.m_player->PlayLibraryRow(row);
    m_window.RefreshControls();
}

bool PlayerWindow::LibrarySource::KeyPressed(int key)
{
    return CommonKey(m_window, key);
}

int PlayerWindow::StationSource::RowCount()
{
    return static_cast<int>(app::FrontEndStationDirectory().Rows().size());
}

int PlayerWindow::StationSource::SelectedRow()
{
    return app::FrontEndStationDirectory().Selected();
}

void PlayerWindow::StationSource::DrawRow(QPainter& painter, int row, const QRect& rect, bool selected)
{
    const web::StationNode& node = *app::FrontEndStationDirectory().Rows()[static_cast<size_t>(row)];
    int indent = 3 + 4 * node.level;
    QString text = QString::fromLocal8Bit(node.text.c_str());
    if (node.isCategory) {
        DrawTriangle(painter, rect, indent, node.expanded);
        DrawRowText(painter, rect, indent + 9, " " + text + " ", kLightYellow, selected);
        return;
    }
    DrawRowText(painter, rect, indent, text, node.greyed ? kGrey : QColor(Qt::white), selected);
}

void PlayerWindow::StationSource::SelectionChanged(int row)
{
    m_window.StationListChanged(row);
}

bool PlayerWindow::StationSource::KeyPressed(int key)
{
    return CommonKey(m_window, key);
}

void PlayerWindow::LinkSource::DrawRow(QPainter& painter, int row, const QRect& rect, bool selected)
{
    QString text =
        QString(" %1. %2").arg(row + 1).arg(QString::fromLocal8Bit(m_window.m_links[static_cast<size_t>(row)].c_str()));
    DrawRowText(painter, rect, 3, text, Qt::white, selected);
}

void PlayerWindow::LinkSource::Activated(int row)
{
    m_window.m_linkSelected = row;
    m_window.Command(kAdd, kCodePressed);
}

bool PlayerWindow::LinkSource::KeyPressed(int key)
{
    return CommonKey(m_window, key);
}

} // namespace lumetra::ui
