#include "app/player_control.h"
#include "engine/mci_sources.h"
#include "engine/media_dispatch.h"
#include "engine/media_type_detection.h"
#include "engine/random_draw.h"
#include "platform/dialogs/message_box.h"

#include <algorithm>
#include <cstring>

namespace lumetra::app {

using engine::kStatePaused;
using engine::kStatePlaying;
using engine::kStateStopped;

PlayerControl::PlayerControl(engine::Engine& engine) : m_engine(engine)
{
    m_engine.AddOpenHook([this] { m_seekTarget = -1; });
    m_engine.AddStopHook([this] { m_index = -1; });
}

bool PlayerControl::AddEntry(const std::string& path)
{
    MediaItem item = MakeMediaItem();
    if (path.empty() || path.size() >= sizeof item.path)
        return false;  // a longer path would name another file once cut to fit
    std::memcpy(item.path, path.c_str(), path.size() + 1);
    engine::FillMediaInfo(item, m_engine.Decoder());
    if (item.sampleRate == 0 || item.layer == -1)
        return false;
    m_rows.push_back(path);
    return true;
}

void PlayerControl::ClearPlaylist()
{
    m_rows.clear();
    m_selected = -1;
    m_index = -1;
}

void PlayerControl::OpenAndPlay(int row)
{
    m_index = row;
    m_engine.OpenCurrent(m_rows[static_cast<std::size_t>(row)].c_str(), 0);
    m_engine.PlayCurrent();
}

int PlayerControl::RandomOtherRow() const
{
    int count = RowCount();
    if (count < 2)
        return 0;  // one row: play it again rather than draw for ever
    int row;
    do {
        row = engine::RandomDraw() % count;
    } while (row == m_index);
    return row;
}

void PlayerControl::Play()
{
    if (m_engine.CurrentItem().streamState == 1)
        return;
    engine::PlayerState state = m_engine.State();
    if (state == kStatePlaying || state == kStatePaused) {
        m_engine.PlayCurrent();
        return;
    }
    int index = m_selected;
    if (index < 0 || index >= RowCount())
        index = RowCount() > 0 ? 0 : -1;
    if (index < 0) {
        // The open-file dialog; without a window it answers Cancel.
        platform::ShowDialog("Open");
        return;
    }
    OpenAndPlay(index);
}

void PlayerControl::Pause()
{
    if (m_engine.CurrentItem().streamState == 1)
        return;
    if (m_engine.State() == kStatePlaying)
        m_engine.PauseCurrent();
}

void PlayerControl::Stop()
{
    if (m_engine.State() == kStateStopped) {
        int tray = engine::CdTrayOpenFlag();
        if (tray < 2) {
            if (engine::MciSources* mci = m_engine.Mci())
                tray == 0 ? mci->CdDoorOpen() : mci->CdDoorClose();
            engine::SetCdTrayOpenFlag(tray == 0 ? 1 : 0);
        }
        return;
    }
    m_engine.StopAll();
}

void PlayerControl::StopIfActive()
{
    engine::PlayerState state = m_engine.State();
    if (state == kStatePlaying || state == kStatePaused)
        m_engine.StopAll();
}

void PlayerControl::Next()
{
    engine::PlayerState state = m_engine.State();
    bool active = state == kStatePlaying || state == kStatePaused;
    if (m_index < 0 && active) {
        // No library to step through: the entry is forgotten and the player stops.
        m_engine.StopAll();
        return;
    }
    if (m_shuffle && RowCount() > 0) {
        OpenAndPlay(RandomOtherRow());
        return;
    }
    int next = m_index + 1;
    if (next >= RowCount()) {
        next = 0;
        if (RowCount() == 0) {
            if (active)
                m_engine.StopAll();
            return;
        }
    }
    OpenAndPlay(next);
}

void PlayerControl::Previous()
{
    engine::PlayerState state = m_engine.State();
    bool active = state == kStatePlaying || state == kStatePaused;
    if (m_index < 0) {
        if (active)
            m_engine.StopAll();
        return;
    }
    int32_t twoSeconds = 2 * m_engine.CurrentItem().sampleRate;
    if (m_engine.PlayedPosition() > twoSeconds && m_index < RowCount()) {
        OpenAndPlay(m_index);
        return;
    }
    if (m_shuffle) {
        if (RowCount() > 0)
            OpenAndPlay(RandomOtherRow());
        return;
    }
    if (m_index - 1 >= 0 && m_index - 1 < RowCount())
        OpenAndPlay(m_index - 1);
}

void PlayerControl::ToggleShuffle()
{
    m_shuffle = !m_shuffle;
    if (m_shuffle)
        m_repeat = false;
}

void PlayerControl::ToggleRepeat()
{
    m_repeat = !m_repeat;
    if (m_repeat)
        m_shuffle = false;
}

void PlayerControl::EndOfTrack(intptr_t notifyCode)
{
    // A stop is still being carried out: the buffer thread finishes it.
    if (m_engine.StopRequested())
        return;
    if (notifyCode == 4 || m_engine.State() == kStatePaused)
        return;
    if (m_index == -2) {
        // Playing from the library, which has no next node here: the full stop.
        m_engine.StopAll();
        return;
    }
    int next;
    if (m_repeat)
        next = m_index + 1 >= RowCount() ? 0 : m_index + 1;
    else if (m_shuffle)
        next = RandomOtherRow();
    else
        next = m_index + 1;
    if (next >= RowCount()) {
        m_engine.StopAll();
        return;
    }
    OpenAndPlay(next);
}

void PlayerControl::CdArrived(const std::string& drive)
{
    if (engine::MciSources* mci = m_engine.Mci()) {
        mci->CdClose();
        mci->CdOpenDevice(drive);
    }
    engine::SetCdTrayOpenFlag(0);
}

void PlayerControl::CdRemoved(const std::string&)
{
    engine::SetCdTrayOpenFlag(1);
    if (m_engine.State() == kStatePaused)
        Stop();
}

bool PlayerControl::SeekSeconds(double seconds)
{
    MediaItem& item = m_engine.CurrentItem();
    if (item.layer == -1 || item.sampleRate <= 0 || item.totalSamples <= 0)
        return false;
    double samples = seconds * item.sampleRate;
    double target = samples * item.fileSize / item.totalSamples;
    m_seekTarget = static_cast<int32_t>(std::clamp(target, 0.0, static_cast<double>(item.fileSize)));
    std::string path = item.path;
    m_engine.OpenCurrent(path.c_str(), m_seekTarget);
    m_engine.PlayCurrent();
    return true;
}

void PlayerControl::SetVolume(int32_t volume)
{
    m_engine.Volume().SetStoredVolume(volume);
    if (!m_engine.Volume().Muted())
        m_engine.ApplyVolume();
}

void PlayerControl::ToggleMute()
{
    m_engine.Volume().SetMuted(!m_engine.Volume().Muted());
    m_engine.ApplyVolume();
}

} // namespace lumetra::app
