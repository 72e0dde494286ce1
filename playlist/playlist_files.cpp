#include "playlist/playlist_files.h"
#include "engine/media_item_text.h"
#include "platform/dialogs/message_box.h"
#include "playlist/cd_disc.h"
#include "playlist/foreign_lists.h"
#include "playlist/list_file.h"
#include "playlist/list_storage.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <strings.h>
#include <sys/stat.h>

namespace lumetra::playlist {
namespace {

constexpr const char* kProductCaption = "Lumetra Media Player (tm)";
constexpr const char* kSaveQuestion = "Do you want to save the current PlayList?";

bool EndsWithNoCase(const std::string& text, std::string_view end)
{
    return text.size() >= end.size() && strcasecmp(text.c_str() + text.size() - end.size(), end.data()) == 0;
}

// Lists written on Windows name "music\\a.mp3"; here the same file is "music/a.mp3".
std::string LocalEntry(const std::string& folder, const std::string& line)
{
    std::string path = ResolveEntry(folder, line);
    struct stat st {};
    if (IsAbsoluteEntry(line) || line.find('\\') == std::string::npos || ::stat(path.c_str(), &st) == 0)
        return path;
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(folder.size()), path.end(), '\\', '/');
    return path;
}

} // namespace

std::string CompleteListExtension(const std::string& name)
{
    return name.find('.') == std::string::npos ? name + ".lst" : name;
}

PlaylistFiles::PlaylistFiles(Playlist& playlist, std::string programDirectory)
    : m_playlist(playlist), m_programDirectory(std::move(programDirectory)),
      m_lastPlayPath(m_programDirectory + "lastplay.lst")
{
}

std::string PlaylistFiles::CdPlaylistPath(uint32_t serial) const
{
    char name[32];
    std::snprintf(name, sizeof name, "CD-%08X.lst", serial);
    return m_programDirectory + name;
}

bool PlaylistFiles::LoadPlaylist(const std::string& path)
{
    uint32_t disc = FindCdSerial();
    std::optional<std::string> bytes = ReadListFile(path);
    if (!bytes)
        return false;
    ListFile list = ParseListFile(*bytes);
    bool loaded = list.isPlaylist && (list.serial == 0 || list.serial == disc);
    if (loaded) {
        m_playlist.State().cdSerial = list.serial;
        std::string folder = ListFolder(AbsolutePath(path));
        for (const std::string& line : list.entries)
            m_playlist.AddEntry(LocalEntry(folder, line));
        m_playlist.State().fileName = path;
        m_playlist.State().modified = false;
    }
    m_playlist.Select(0);
    return loaded;
}

bool PlaylistFiles::LoadForeignList(const std::string& path)
{
    std::optional<std::string> bytes = ReadListFile(path);
    if (!bytes)
        return false;
    std::vector<std::string> entries =
        ForeignListKindOf(path) == ForeignListKind::Pls ? ParsePls(*bytes) : ParseM3u(*bytes);
    std::string folder = ListFolder(AbsolutePath(path));
    for (const std::string& entry : entries) {
        if (entry.size() <= kMaxLineChars)
            m_playlist.AddEntry(entry.find("://") == std::string::npos ? LocalEntry(folder, entry) : entry);
    }
    m_playlist.State().modified = false;
    m_playlist.Select(0);
    return true;
}

uint32_t PlaylistFiles::CdPlaylistOnDrive() const
{
    for (int row = 0; row < m_playlist.RowCount(); ++row) {
        if (!CdDriveOf(m_playlist.RowText(row)).empty())
            return m_playlist.State().cdSerial;
    }
    return 0;
}

bool PlaylistFiles::WritePlaylist(const std::string& path)
{
    std::vector<std::string> rows;
    for (int row = 0; row < m_playlist.RowCount(); ++row)
        rows.push_back(m_playlist.RowText(row));
    std::string text;
    if (EndsWithNoCase(path, ".m3u8")) {
        std::vector<M3uEntry> entries;
        for (int row = 0; row < m_playlist.RowCount(); ++row) {
            const MediaItem& item = m_playlist.RowItem(row);
            if (rows[static_cast<std::size_t>(row)].find("://") == std::string::npos)
                entries.push_back({rows[static_cast<std::size_t>(row)], engine::ItemSeconds(item),
                                   engine::ItemDisplayName(item, item.path)});
        }
        text = FormatM3u8(entries);
    } else {
        text = FormatListFile(CdPlaylistOnDrive(), rows);
    }
    m_lastWriteOk = WriteFileAtomically(path, text);
    if (!m_lastWriteOk)
        return false;
    m_playlist.State().fileName = path;
    m_playlist.State().entryCount = m_playlist.RowCount();
    m_playlist.State().modified = false;
    return true;
}

std::optional<std::string> PlaylistFiles::AskFileName(bool save)
{
    FileDialogRequest request;
    request.save = save;
    request.title = save ? "Save As" : "Open";
    request.filters = {{"PlayList (*.LST)", "*.lst"}};
    if (save) {
        request.filters.push_back({"M3U8 PlayList (*.M3U8)", "*.m3u8"});
        uint32_t serial = m_playlist.State().cdSerial;
        if (serial != 0 && CdPlaylistOnDrive() != 0)
            request.proposal = CdPlaylistPath(serial);
    }
    std::optional<std::string> name;
    if (m_dialog)
        name = m_dialog(request);
    else
        platform::ShowDialog(request.title);
    if (name && name->empty())
        name.reset();
    if (name && save)
        *name = CompleteListExtension(*name);
    return name;
}

bool PlaylistFiles::NamedFile() const
{
    const std::string& name = m_playlist.State().fileName;
    return !name.empty() && strcasecmp(name.c_str(), m_lastPlayPath.c_str()) != 0;
}

bool PlaylistFiles::WriteNamedOrAsk()
{
    if (NamedFile()) {
        WritePlaylist(m_playlist.State().fileName);
        return true;
    }
    std::optional<std::string> name = AskFileName(true);
    if (!name)
        return false;
    WritePlaylist(*name);
    return true;
}

bool PlaylistFiles::SavePlaylist()
{
    return WriteNamedOrAsk();
}

bool PlaylistFiles::SavePlaylistAs()
{
    std::optional<std::string> name = AskFileName(true);
    if (!name)
        return false;
    WritePlaylist(*name);
    return true;
}

// The save question; returns 1 to go on, 0 when the user cancelled.
int PlaylistFiles::AskSaveQuestion(bool withCancel)
{
    const PlaylistState& state = m_playlist.State();
    if (!state.modified || state.entryCount < 2)
        return 1;
    platform::MessageAnswer answer =
        platform::ShowMessageBox(kProductCaption, kSaveQuestion,
                                 withCancel ? platform::MessageButtons::YesNoCancel : platform::MessageButtons::YesNo);
    if (answer == platform::kAnswerCancel)
        return 0;
    if (answer == platform::kAnswerYes)
        return WriteNamedOrAsk() ? 1 : 0;
    return 1;
}

bool PlaylistFiles::ConfirmSaveAndClear()
{
    if (!AskSaveQuestion(true))
        return false;
    m_playlist.ClearPlaylist();
    return true;
}

bool PlaylistFiles::OpenPlaylist()
{
    std::optional<std::string> name = AskFileName(false);
    return name ? OpenPlaylist(*name) : false;
}

bool PlaylistFiles::OpenPlaylist(const std::string& path)
{
    if (std::optional<std::string> bytes = ReadListFile(path, 4096)) {
        ListFile header = ParseListFile(*bytes);
        while (header.isPlaylist && header.serial != 0 && FindCdSerial() != header.serial) {
            platform::MessageAnswer answer = platform::ShowMessageBox(
                kProductCaption,
                "CD tracks in this playlist cannot be found, please insert the correct CD.\nTry again?",
                platform::MessageButtons::YesNo);
            if (answer != platform::kAnswerYes)
                return false;
        }
    }
    if (!AskSaveQuestion(true))
        return false;
    m_playlist.ClearPlaylist();
    bool loaded = ForeignListKindOf(path) != ForeignListKind::None ? LoadForeignList(path) : LoadPlaylist(path);
    if (!loaded)
        platform::ShowMessageBox("Open Playlist", "Invalid Playlist file.");
    return loaded;
}

bool PlaylistFiles::LoadCdPlaylist()
{
    uint32_t serial = FindCdSerial();
    m_playlist.State().cdSerial = serial;
    if (serial == 0)
        return false;
    m_playlist.ClearList();
    m_playlist.State().entryCount = 0;
    m_playlist.State().modified = false;
    m_playlist.State().fileName = CdPlaylistPath(serial);
    return LoadPlaylist(m_playlist.State().fileName);
}

void PlaylistFiles::ApplyCdChange()
{
    PlaylistState& state = m_playlist.State();
    uint32_t now = FindCdSerial();
    if (state.cdSerial == 0 || now == 0 || now == state.cdSerial)
        return;
    if (state.modified && state.entryCount >= 2 &&
        platform::ShowMessageBox(kProductCaption, kSaveQuestion, platform::MessageButtons::YesNo) ==
            platform::kAnswerYes) {
        if (NamedFile())
            WritePlaylist(state.fileName);
        else
            SavePlaylistAs();
    }
    m_playlist.ClearList();
    state.fileName.clear();
    state.entryCount = 0;
    state.modified = false;
}

} // namespace lumetra::playlist
