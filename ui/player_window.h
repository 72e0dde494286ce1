#pragma once
// The main window: the skin, every skinned control laid out by mode and view,
// the four list panels, the information screen, the menu, and the command
// handling that turns presses into calls on the player control.

#include "app/front_end_view.h"
#include "engine/engine.h"
#include "engine/volume_knob.h"
#include "ui/list_panel.h"
#include "ui/skin.h"
#include "ui/skin_control.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lumetra::app {
class PlayerControl;
}

namespace lumetra::ui {

class PlayerWindow : public QMainWindow, public app::FrontEndView, public SkinControlOwner {
public:
    // controlMode: the headless protocol runs beside the window, so dialogs are
    // also printed as events.
    PlayerWindow(engine::Engine& engine, bool controlMode);
    ~PlayerWindow() override;
    bool SkinComplete() const { return m_skinComplete; }

    void Attach(app::PlayerControl& player, std::function<void()> requestQuit) override;
    void Tick() override;
    void Detach() override;
    void Raise() override;
    bool RadioMode() const override { return m_mode == 1; }
    void PressModeButton(bool radio) override;
    void ShowPanel(int view) override { SetView(view); }

    // A command as a press notification (code 2 pressed, 3 released, 5 double click).
    void Command(int id, int code);
    void MenuCommand(int id);
    int Mode() const { return m_mode; }
    int View() const { return m_view; }
    void SetMode(int mode);
    void SetView(int view);

    QWidget* Face() const { return m_face; }
    const Skin& SkinPictures() const { return m_skin; }
    // The skinned control or list panel with that id, or nullptr.
    QWidget* ControlWidget(int id) const;
    // Repaints the controls whose picture changed.
    void RefreshControls();

    // SkinControlOwner
    void PaintControl(int id, QPainter& painter, bool pressed) override;
    void ControlPressed(int id, QPoint at) override;
    void ControlDragged(int id, QPoint at) override;
    void ControlReleased(int id, QPoint at) override;

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    class PlaylistSource;
    class LibrarySource;
    class StationSource;
    class LinkSource;
    struct Cell {
        int bitmap = -1, columns = 1, rows = 1, column = 0, row = 0;
    };

    void BuildControls();
    void BuildMenu();
    void PlaceControl(int id);
    void ApplyMode();
    void ApplyView();
    Cell ChooseCell(int id, bool pressed) const;
    long PictureKey(int id) const;
    void Repaint(std::initializer_list<int> ids);

    void PaintLevelMeter(QPainter& painter);
    void PaintPositionBar(QPainter& painter);
    void PaintStatusText(QPainter& painter);
    void PaintScreen(QPainter& painter);
    void PaintSkinUnder(QPainter& painter, int id);
    void TakeVideoPicture();

    void Play();
    void Step(int direction);
    void Add();
    void AddLibrarySelection();
    void RemoveLibrarySelection();
    void CdArrived(bool playlistLoaded);
    void CdTrackRowSelected(int row, bool bothButtons);
    void ShowHint(bool shown);
    void ListButton(int id);
    void ShowInfoPreview();
    void StopRadio();
    void FetchDirectory();
    void FetchLinks();
    void AddFiles(const QStringList& paths);
    void AddChosenFiles(const QStringList& paths);
    QStringList AskForFiles();
    void OpenAddress(const std::string& address);
    bool DispatchPlaylistCommand(const std::string& line);
    void StationListChanged(int row);
    void FocusList();
    void UpdateStatusText();
    int KnobColumn() const;
    int StepSkip(int sign) const;
    bool Playing() const;
    bool Loaded() const;

    engine::Engine& m_engine;
    app::PlayerControl* m_player = nullptr;
    std::function<void()> m_requestQuit;
    bool m_controlMode;
    bool m_skinComplete = false;
    Skin m_skin;
    QWidget* m_face = nullptr;
    std::map<int, SkinControl*> m_controls;
    std::map<int, ListPanel*> m_lists;
    std::map<int, long> m_shownKeys;
    std::unique_ptr<PlaylistSource> m_playlistSource;
    std::unique_ptr<LibrarySource> m_librarySource;
    std::unique_ptr<StationSource> m_stationSource;
    std::unique_ptr<LinkSource> m_linkSource;
    std::vector<std::string> m_links;
    int m_linkSelected = -1;
    // Part of the player control's state that only the window changes.
    int m_mode = 0;
    int m_view = 0;
    int m_stepState = 0;
    bool m_addLit = false;
    bool m_fiveLit = false;
    bool m_closing = false;
    int m_ticks = 0;
    int m_radioTicks = 0;
    int m_blink = 0;
    int m_markerPulse = 0;
    std::string m_status = " Welcome to Lumetra Media Player";
    // Knob and position bar drags.
    engine::KnobDrag m_knob;
    int m_dragStartX = -1;
    int m_grab = 0;
    bool m_dragFirst = false;
    int m_skip = 0;
    int m_dragBarX = 0;
    std::string m_dragReadout;
    // "Click both mouse buttons to name the track", near the cursor.
    QWidget* m_hint = nullptr;
    // The picture of a playing video file, drawn over the information screen.
    std::vector<uint32_t> m_videoPixels;
    uint64_t m_videoSerial = 0;
    bool m_videoPlaying = false;
};

} // namespace lumetra::ui
