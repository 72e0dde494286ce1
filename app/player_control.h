#pragma once
// The player's command layer: which row plays, Play/Pause/Stop, next and previous
// with shuffle and repeat, the end-of-track notice, seeking, volume and mute. It
// keeps a plain in-memory playlist of paths.

#include "engine/engine.h"

#include <string>
#include <vector>

namespace lumetra::app {

class PlayerControl {
public:
    explicit PlayerControl(engine::Engine& engine);

    // Playlist: a path whose item has no sample rate is not added; false then.
    bool AddEntry(const std::string& path);
    void ClearPlaylist();
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    void SelectRow(int row) { m_selected = row; }
    int Index() const { return m_index; }

    void Play();
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
    // False when nothing is loaded.
    bool SeekSeconds(double seconds);
    void SetVolume(int32_t volume);
    void ToggleMute();

private:
    void OpenAndPlay(int row);
    int RandomOtherRow() const;
    void StepIndexForward();

    engine::Engine& m_engine;
    std::vector<std::string> m_rows;
    int m_selected = -1;
    int m_index = -1;
    bool m_shuffle = false;
    bool m_repeat = false;
    int32_t m_seekTarget = -1;
};

} // namespace lumetra::app
