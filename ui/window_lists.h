#pragma once
// The four list panels' rows: playlist, library, station list and link list.
// Included by the window only.

#include "playlist/library.h"
#include "ui/player_window.h"

#include <QColor>
#include <QString>

#include <string>
#include <vector>

namespace lumetra::ui {

inline const QColor kLightYellow(255, 255, 110);
inline const QColor kGrey(130, 130, 130);

class PlayerWindow::PlaylistSource : public ListSource {
public:
    explicit PlaylistSource(PlayerWindow& window) : m_window(window) {}
    int RowCount() override;
    int SelectedRow() override;
    void DrawRow(QPainter& painter, int row, const QRect& rect, bool selected) override;
    void SelectionChanged(int row) override;
    void SelectedWithBothButtons(int row) override;
    void Activated(int row) override;
    bool KeyPressed(int key) override;

private:
    PlayerWindow& m_window;
};

class PlayerWindow::LibrarySource : public ListSource {
public:
    explicit LibrarySource(PlayerWindow& window) : m_window(window) {}
    // Takes the rows for this paint.
    int RowCount() override;
    int SelectedRow() override;
    void DrawRow(QPainter& painter, int row, const QRect& rect, bool selected) override;
    void SelectionChanged(int row) override;
    void Activated(int row) override;
    bool KeyPressed(int key) override;

private:
    PlayerWindow& m_window;
    std::vector<playlist::LibraryRow> m_rows;
};

class PlayerWindow::StationSource : public ListSource {
public:
    explicit StationSource(PlayerWindow& window) : m_window(window) {}
    int RowCount() override;
    int SelectedRow() override;
    void DrawRow(QPainter& painter, int row, const QRect& rect, bool selected) override;
    void SelectionChanged(int row) override;
    bool KeyPressed(int key) override;

private:
    PlayerWindow& m_window;
};

class PlayerWindow::LinkSource : public ListSource {
public:
    explicit LinkSource(PlayerWindow& window) : m_window(window) {}
    int RowCount() override { return static_cast<int>(m_window.m_links.size()); }
    int SelectedRow() override { return m_window.m_linkSelected; }
    void DrawRow(QPainter& painter, int row, const QRect& rect, bool selected) override;
    void SelectionChanged(int row) override { m_window.m_linkSelected = row; }
    void Activated(int row) override;
    bool KeyPressed(int key) override;

private:
    PlayerWindow& m_window;
};

} // namespace lumetra::ui
