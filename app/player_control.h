#pragma once
// The player's command layer: which row plays, Play/Pause/Stop, next and previous
// with shuffle and repeat, the end-of-track notice, seeking, volume and mute. The
// rows, the selection and the current row are the playlist's (playlist/); playing
// from the library steps through its category.

#include "engine/engine.h"
#include "playlist/library.h"
#include "playlist/playlist.h"

#include <memory>
#include <optional>
#include <string>

namespace lumetra::app {

class PlayerControl {
public:
    PlayerControl(engine::Engine& engine, playlist::Playlist& playlist);
    // With a playlist of its own whose items are read through the engine's decoder.
    explicit PlayerControl(engine::Engine& engine);

    engine::Engine& Engine() { return m_engine; }

    playlist::Playlist& Playlist() { return m_playlist; }
    void SetLibrary(playlist::Library* library) { m_library = library; }
    playlist::Library* LibraryList() const { return m_library; }
    // The selected row of the library list (-1 none).
    void SelectLibraryRow(int row) { m_librarySelected = row; }
    int SelectedLibraryRow() const { return m_librarySelected; }

    // The single shape of AddEntries: false when the path was not added.
    bool AddEntry(const std::string& path);
    // The playlist emptied; nothing is current.
    void ClearPlaylist();
    int RowCount() const { return m_playlist.RowCount(); }
    void SelectRow(int row) { m_playlist.Select(row); }
    int Index() const { return m_playlist.PlayIndex(); }
    // The panel view (0 list, 1 information screen, 2 library, ...): Play when
    // stopped plays the shown item in view 1 and the selected library row in view 2.
    void SetView(int view) { m_view = view; }

    void Play();
    // A double click on a row: it becomes the index and plays from its start.
    void PlayRow(int row);
    void Pause();
    void Stop();
    // The full stop, when something plays or is paused.
    void StopIfActive();
    void Next();
    void Previous();
    void ToggleShuffle();
    void ToggleRepeat();
    bool Shuffle() const { return m_shuffle; }
    bool Repeat() const { return m_repeat; }
    void EndOfTrack(intptr_t notifyCode);
    // A disc came into or left a drive (the CD watcher's notices).
    void CdArrived(const std::string& drive);
    void CdRemoved(const std::string& drive);
    // A CD-track row selected with both mouse buttons: the "Audio CD Information"
    // dialog for its disc, then every row's names read again when they were saved.
    // False when the row is not a CD track.
    bool NameCdTrack(int row);
    // Plays a library row (double click in the library list); false when the row
    // is not a playable item.
    bool PlayLibraryRow(int row);
    // False when nothing is loaded.
    bool SeekSeconds(double seconds);
    // Reopens the current item at target on its fileSize scale and plays it.
    bool SeekTo(int64_t target);
    void SetVolume(int32_t volume);
    void ToggleMute();
    int32_t Volume() const { return static_cast<int32_t>(m_engine.Volume().Volume() & 0xFFFF); }
    bool Muted() const { return m_engine.Volume().Muted(); }
    engine::Engine& Engine() const { return m_engine; }

private:
    void OpenAndPlay(int row);
    bool PlayLibraryEntry(const playlist::LibraryEntry& entry);
    void StepLibrary(int step);
    int RandomOtherRow() const;

    engine::Engine& m_engine;
    std::unique_ptr<playlist::Playlist> m_ownPlaylist;
    playlist::Playlist& m_playlist;
    playlist::Library* m_library = nullptr;
    std::optional<playlist::LibraryEntry> m_libraryEntry;
    bool m_shuffle = false;
    bool m_repeat = false;
    int64_t m_seekTarget = -1;
    int m_view = 0;
    int m_librarySelected = -1;
};

} // namespace lumetra::app
