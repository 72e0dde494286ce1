#include "playlist/playlist.h"
#include "engine/media_type_detection.h"
#include "playlist/cd_disc.h"
#include "playlist/list_storage.h"

#include <cstring>

namespace lumetra::playlist {
namespace {

bool IsPlayableType(int32_t type)
{
    return type == MEDIA_WAVE || type == MEDIA_MPEG || type == MEDIA_CDTRACK || type == MEDIA_MIDI || type == MEDIA_ASF;
}

} // namespace

std::string CdDriveOf(const std::string& path)
{
    if (!engine::IsCdDrive(path.c_str()))
        return {};
    return path.substr(0, path.find_last_of('/'));
}

Playlist::Playlist(ItemReader reader) : m_reader(std::move(reader)) {}

void Playlist::Select(int row)
{
    m_selected = row >= 0 && row < RowCount() ? row : -1;
    Changed();
}

void Playlist::Changed()
{
    if (m_observer)
        m_observer();
}

bool Playlist::AppendRow(const std::string& path)
{
    auto item = std::make_unique<MediaItem>(MakeMediaItem());
    // A longer path would name another file once cut to fit the item.
    if (path.empty() || path.size() >= sizeof item->path || path.find('\0') != std::string::npos)
        return false;
    if (!MayHoldMedia(path))
        return false;
    std::memcpy(item->path, path.c_str(), path.size() + 1);
    m_reader(*item);
    if (!IsPlayableType(item->mediaType) || item->sampleRate == 0 || item->layer == -1)
        return false;
    if (std::string drive = CdDriveOf(path); !drive.empty())
        m_state.cdSerial = DiscSerialOf(drive);
    item->durationSeconds = item->totalSamples / item->sampleRate;
    m_rows.push_back({path, std::move(item)});
    return true;
}

int Playlist::AddEntry(const std::string& path)
{
    if (!AppendRow(path))
        return 0;
    m_selected = RowCount() - 1;
    m_state.modified = true;
    m_state.entryCount += 1;
    Changed();
    return 1;
}

int Playlist::AddEntries(const std::string& folder, const std::vector<std::string>& names)
{
    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back(folder + "/" + name);
    return AddPaths(paths);
}

int Playlist::AddPaths(const std::vector<std::string>& paths)
{
    int added = 0;
    for (const std::string& path : paths) {
        if (!AppendRow(path))
            continue;
        ++added;
        if (RowCount() == 1)
            m_selected = 0;
    }
    if (added > 0) {
        m_state.modified = true;
        m_state.entryCount += added;
        Changed();
    }
    return added;
}

int Playlist::AddEntries(std::string_view names)
{
    std::size_t end = names.find('\0');
    if (end == std::string_view::npos)
        return AddEntry(std::string(names));
    std::string first(names.substr(0, end));
    if (end + 1 >= names.size() || names[end + 1] == '\0')
        return AddEntry(first);
    std::vector<std::string> files;
    for (std::size_t pos = end + 1; pos < names.size() && names[pos] != '\0';) {
        std::size_t stop = names.find('\0', pos);
        if (stop == std::string_view::npos)
            stop = names.size();
        files.emplace_back(names.substr(pos, stop - pos));
        pos = stop + 1;
    }
    if (!first.empty() && first.back() == '/')
        first.pop_back();
    return AddEntries(first, files);
}

void Playlist::DeleteEntry()
{
    if (m_selected < 0 || m_selected >= RowCount())
        return;
    m_rows.erase(m_rows.begin() + m_selected);
    m_state.entryCount -= 1;
    m_state.modified = true;
    if (m_selected >= RowCount())
        m_selected = RowCount() - 1;
    Changed();
}

void Playlist::MoveEntryUp()
{
    int i = m_selected;
    if (i < 1 || i >= RowCount())
        return;
    if (i == m_playIndex)
        m_playIndex -= 1;
    else if (i - 1 == m_playIndex)
        m_playIndex += 1;
    std::swap(m_rows[static_cast<std::size_t>(i)], m_rows[static_cast<std::size_t>(i - 1)]);
    m_selected = i - 1;
    Changed();
}

void Playlist::MoveEntryDown()
{
    int i = m_selected;
    if (i < 0 || i >= RowCount() - 1)
        return;
    if (i == m_playIndex)
        m_playIndex += 1;
    else if (i + 1 == m_playIndex)
        m_playIndex -= 1;
    std::swap(m_rows[static_cast<std::size_t>(i)], m_rows[static_cast<std::size_t>(i + 1)]);
    m_selected = i + 1;
    Changed();
}

void Playlist::ClearList()
{
    m_rows.clear();
    m_selected = -1;
    Changed();
}

void Playlist::ClearPlaylist()
{
    ClearList();
    m_state.fileName.clear();
    m_state.entryCount = 0;
    m_state.modified = false;
}

void Playlist::RefreshEntries()
{
    for (PlaylistRow& row : m_rows) {
        MediaItem& item = *row.item;
        std::string path = item.path;
        item = MakeMediaItem();
        std::memcpy(item.path, path.c_str(), path.size() + 1);
        m_reader(item);
        item.durationSeconds = item.sampleRate > 0 ? item.totalSamples / item.sampleRate : 0;
    }
    Changed();
}

} // namespace lumetra::playlist
