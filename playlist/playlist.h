#pragma once
// The playlist: ordered rows, each the text it was added with (a path, or a
// stream address) and the media item read for it, with the selected row and the
// player's current row beside them. The window draws these rows and the headless
// front end prints them; both change them only through these operations. Main
// thread only.

#include "media/media_item.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lumetra::playlist {

// Detects the type of item.path and reads its information (the player passes
// engine::FillMediaInfo with its decoder).
using ItemReader = std::function<void(MediaItem& item)>;

struct PlaylistState {
    std::string fileName; // last loaded or written; empty for none
    int32_t entryCount = 0;
    bool modified = false;
    uint32_t cdSerial = 0; // disc whose tracks the playlist holds; clearing keeps it
};

struct PlaylistRow {
    std::string text;
    std::unique_ptr<MediaItem> item;
};

class Playlist {
public:
    explicit Playlist(ItemReader reader);

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    const std::string& RowText(int row) const { return m_rows.at(static_cast<std::size_t>(row)).text; }
    const MediaItem& RowItem(int row) const { return *m_rows.at(static_cast<std::size_t>(row)).item; }
    int Selected() const { return m_selected; }
    // A row out of range selects nothing.
    void Select(int row);
    // The player's current row: -1 none, -2 playing from the library.
    int PlayIndex() const { return m_playIndex; }
    void SetPlayIndex(int index) { m_playIndex = index; }
    PlaylistState& State() { return m_state; }
    const PlaylistState& State() const { return m_state; }

    // The two shapes of a names buffer: one path ended by two NULs, or a folder
    // and file names, each NUL-terminated, ended by an empty string. Paths whose
    // type is not playable or whose sample rate reads as 0 are skipped. Returns
    // the number of rows added.
    int AddEntries(std::string_view names);
    // The single shape: the new row is selected.
    int AddEntry(const std::string& path);
    // The multi shape as separate strings: a new row is selected only when it is the first.
    int AddEntries(const std::string& folder, const std::vector<std::string>& names);
    // The multi shape with whole paths (files chosen or dropped together).
    int AddPaths(const std::vector<std::string>& paths);

    void DeleteEntry();
    void MoveEntryUp();
    void MoveEntryDown();
    // Rows and state cleared: fileName empty, entryCount 0, not modified.
    void ClearPlaylist();
    // Rows only.
    void ClearList();
    // Re-reads every row's item in place.
    void RefreshEntries();

    // Called after every change of rows or selection (the window repaints).
    void SetChangeObserver(std::function<void()> observer) { m_observer = std::move(observer); }

private:
    bool AppendRow(const std::string& path);
    void Changed();

    ItemReader m_reader;
    std::vector<PlaylistRow> m_rows;
    int m_selected = -1;
    int m_playIndex = -1;
    PlaylistState m_state;
    std::function<void()> m_observer;
};

// The directory of the CD-ROM drive a path lies on, empty when none.
std::string CdDriveOf(const std::string& path);

} // namespace lumetra::playlist
