#include "app/player_control.h"
#include "engine/cd_names.h"
#include "engine/mci_sources.h"
#include "engine/media_dispatch.h"
#include "engine/media_type_detection.h"
#include "engine/random_draw.h"
#include "platform/dialogs/message_box.h"
#include "playlist/library.h"

#include <algorithm>
#include <cstring>

namespace lumetra::app {

using engine::kStatePaused;
using engine::kStatePlaying;
using engine::kStateStopped;

PlayerControl::PlayerControl(engine::Engine& engine, playlist::Playlist& playlist)
    : m_engine(engine), m_playlist(playlist)
{
    m_engine.AddOpenHook([this] { m_seekTarget = -1; });
    m_engine.AddStopHook([this] {
        m_playlist.SetPlayIndex(-1);
        m_libraryEntry.reset();
    });
}

PlayerControl::PlayerControl(engine::Engine& engine)
    : PlayerControl(engine, *new playlist::Playlist(
                                [&engine](MediaItem& item) { engine::FillMediaInfo(item, engine.Decoder()); }))
{
    m_ownPlaylist.reset(&m_playlist);
}

bool PlayerControl::AddEntry(const std::string& path)
{
    return m_playlist.AddEntry(path) == 1;
}

void PlayerControl::ClearPlaylist()
{
    m_playlist.ClearPlaylist();
    m_playlist.SetPlayIndex(-1);
}

void PlayerControl::OpenAndPlay(int row)
{
    m_playlist.SetPlayIndex(row);
    std::string path = m_playlist.RowText(row);
    m_engine.OpenCurrent(path.c_str(), 0);
    m_engine.PlayCurrent();
}

bool PlayerControl::PlayLibraryEntry(const playlist::LibraryEntry& entry)
{
    std::optional<MediaItem> item = m_library ? m_library->ItemOf(entry) : std::nullopt;
    if (!item || item->layer == -1)
        return false;
    m_playlist.SetPlayIndex(-2);
    m_libraryEntry = entry;
    m_engine.OpenCurrent(item->path, 0);
    m_engine.PlayCurrent();
    // Opening may have stopped the previous item, whose stop forgets the entry.
    m_playlist.SetPlayIndex(-2);
    m_libraryEntry = entry;
    return true;
}

bool PlayerControl::PlayLibraryRow(int row)
{
    if (!m_library || m_library->Busy())
        return false;
    std::optional<playlist::LibraryEntry> entry = m_library->EntryOfRow(row);
    return entry && PlayLibraryEntry(*entry);
}

// The next or previous node of the library entry, or the full stop without one.
void PlayerControl::StepLibrary(int step)
{
    std::optional<playlist::LibraryEntry> next;
    if (m_libraryEntry && m_library)
        next = step == 0 ? m_libraryEntry : m_library->Neighbour(*m_libraryEntry, step);
    if (!next || !PlayLibraryEntry(*next)) {
        m_libraryEntry.reset();
        m_engine.StopAll();
    }
}

void PlayerControl::PlayRow(int row)
{
    if (row >= 0 && row < RowCount())
        OpenAndPlay(row);
}

int PlayerControl::RandomOtherRow() const
{
    int count = RowCount();
    if (count < 2)
        return 0; // one row: play it again rather than draw for ever
    int row;
    do {
        row = engine::RandomDraw() % count;
    } while (row == m_playlist.PlayIndex());
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
    const MediaItem& current = m_engine.CurrentItem();
    if (m_view == 1 && current.path[0] != '\0') {
        std::string path = current.path;
        m_engine.OpenCurrent(path.c_str(), 0);
        m_engine.PlayCurrent();
        return;
    }
    if (m_view == 2 && m_library) {
        PlayLibraryRow(m_librarySelected);
        return;
    }
    int index = m_playlist.Selected();
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
    if (Index() < 0 && active) {
        StepLibrary(1);
        return;
    }
    if (m_shuffle && RowCount() > 0) {
        OpenAndPlay(RandomOtherRow());
        return;
    }
    int next = Index() + 1;
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
    const int64_t twoSeconds = 2 * int64_t{m_engine.CurrentItem().sampleRate};
    if (Index() < 0) {
        if (active)
            StepLibrary(m_engine.PlayedPosition() < twoSeconds ? -1 : 0);
        return;
    }
    if (m_engine.PlayedPosition() > twoSeconds && Index() < RowCount()) {
        OpenAndPlay(Index());
        return;
    }
    if (m_shuffle) {
        if (RowCount() > 0)
            OpenAndPlay(RandomOtherRow());
        return;
    }
    if (Index() - 1 >= 0 && Index() - 1 < RowCount())
        OpenAndPlay(Index() - 1);
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
    if (Index() == -2) {
        // From the library only an Audio CD plays on, track after track.
        std::optional<playlist::LibraryEntry> next =
            m_libraryEntry && m_library ? m_library->Neighbour(*m_libraryEntry, 1) : std::nullopt;
        std::optional<MediaItem> current =
            m_libraryEntry && m_library ? m_library->ItemOf(*m_libraryEntry) : std::nullopt;
        std::optional<MediaItem> following = next ? m_library->ItemOf(*next) : std::nullopt;
        if (current && following && current->mediaType == MEDIA_CDTRACK && following->mediaType == MEDIA_CDTRACK &&
            PlayLibraryEntry(*next))
            return;
        m_engine.StopAll();
        m_libraryEntry.reset();
        m_playlist.SetPlayIndex(-1);
        return;
    }
    int index = Index();
    int next;
    if (m_repeat)
        next = index + 1 >= RowCount() ? 0 : index + 1;
    else if (m_shuffle)
        next = RandomOtherRow();
    else
        next = index + 1;
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

bool PlayerControl::NameCdTrack(int row)
{
    if (row < 0 || row >= RowCount() || m_playlist.RowItem(row).mediaType != MEDIA_CDTRACK)
        return false;
    if (engine::CdInfoDialog(m_playlist.RowItem(row)) == 1) {
        m_playlist.RefreshEntries();
        if (m_library)
            m_library->RefreshEntries();
    }
    return true;
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
    const double fraction = samples / static_cast<double>(item.totalSamples);
    double target = fraction * static_cast<double>(item.fileSize);
    if (item.mediaType == MEDIA_MPEG)
        target = static_cast<double>(m_engine.Decoder().SeekOffset(item, fraction));
    return SeekTo(static_cast<int64_t>(std::clamp(target, 0.0, static_cast<double>(item.fileSize))));
}

bool PlayerControl::SeekTo(int64_t target)
{
    MediaItem& item = m_engine.CurrentItem();
    if (item.layer == -1 || item.path[0] == '\0')
        return false;
    m_seekTarget = std::clamp<int64_t>(target, 0, std::max<int64_t>(0, item.fileSize));
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
