#pragma once
// The playlist's files: loading and writing ".lst" lists (and other players'
// ".m3u", ".m3u8" and ".pls"), the menu commands New, Open, Save and Save As with
// their prompts, the playlist of the last run and the per-CD playlists. Main
// thread only: the prompts are message boxes and file dialogs.

#include "playlist/playlist.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace lumetra::playlist {

struct FileDialogRequest {
    bool save = false;                                        // the Save dialog, else the Open dialog
    std::string title;                                        // "Save As" or "Open", as the window shows them
    std::string proposal;                                     // the file-name field's starting text
    std::vector<std::pair<std::string, std::string>> filters; // caption, patterns
};
// The chosen file name, or nothing on Cancel.
using FileDialogPresenter = std::function<std::optional<std::string>(const FileDialogRequest&)>;

class PlaylistFiles {
public:
    // programDirectory ends with "/"; lastplay.lst lives there.
    PlaylistFiles(Playlist& playlist, std::string programDirectory);

    // Without a presenter the dialog is shown as platform::ShowDialog(title) and cancelled.
    void SetFileDialogPresenter(FileDialogPresenter presenter) { m_dialog = std::move(presenter); }

    const std::string& LastPlayPath() const { return m_lastPlayPath; }
    std::string CdPlaylistPath(uint32_t serial) const;

    // Adds the entries of a ".lst" list to the rows already there; true when the
    // file was a playlist and its CD serial is 0 or that of the disc in the drive.
    bool LoadPlaylist(const std::string& path);
    // Writes ".lst", or ".m3u8" for a name ending so; false when it cannot be
    // written (the old file stays as it was).
    bool WritePlaylist(const std::string& path);
    // The local files of an ".m3u", ".m3u8" or ".pls" list, added as rows; false
    // when it cannot be read.
    bool LoadForeignList(const std::string& path);

    // Whether the last WritePlaylist succeeded (the save commands report nothing).
    bool LastWriteSucceeded() const { return m_lastWriteOk; }

    bool ConfirmSaveAndClear();
    bool OpenPlaylist();
    // Open Playlist with the dialog answered by path.
    bool OpenPlaylist(const std::string& path);
    bool SavePlaylist();
    bool SavePlaylistAs();
    bool LoadCdPlaylist();
    // A different disc arrived: a modified playlist of the old one may be saved,
    // then the rows are cleared.
    void ApplyCdChange();

    // cdSerial when some row lies on a CD-ROM drive, else 0.
    uint32_t CdPlaylistOnDrive() const;

private:
    std::optional<std::string> AskFileName(bool save);
    bool WriteNamedOrAsk();
    bool NamedFile() const;
    int AskSaveQuestion(bool withCancel);

    Playlist& m_playlist;
    std::string m_programDirectory;
    std::string m_lastPlayPath;
    FileDialogPresenter m_dialog;
    bool m_lastWriteOk = true;
};

// ".lst" appended when the chosen name holds no "." anywhere.
std::string CompleteListExtension(const std::string& name);

} // namespace lumetra::playlist
