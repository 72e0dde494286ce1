#include "app/headless_playlist.h"
#include "app/headless.h"
#include "app/headless_registry.h"
#include "app/player_control.h"
#include "engine/cd_watcher.h"
#include "engine/mci_sources.h"
#include "engine/media_dispatch.h"
#include "platform/dialogs/message_box.h"
#include "platform/drives/fixed_drives.h"
#include "platform/drives/program_directory.h"
#include "playlist/foreign_lists.h"
#include "playlist/library.h"
#include "playlist/list_storage.h"
#include "playlist/playlist_files.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <strings.h>

namespace lumetra::app {
namespace {

bool ParseRow(const std::string& text, int& row)
{
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || value < -1 || value > 1000000000)
        return false;
    row = static_cast<int>(value);
    return true;
}

bool EndsWithNoCase(const std::string& text, const char* end)
{
    std::size_t n = std::strlen(end);
    return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, end) == 0;
}

std::function<void(bool)>& CdArrivalView()
{
    static std::function<void(bool)> view;
    return view;
}

struct PlaylistFrontEnd {
    explicit PlaylistFrontEnd(PlayerControl& p)
        : player(p), files(p.Playlist(), platform::ProgramDirectory()),
          library([](MediaItem& item) { engine::FillMediaInfo(item); }, platform::ProgramDirectory() + "library.lst",
                  [] { return platform::FixedDrives(); })
    {
    }

    PlayerControl& player;
    playlist::PlaylistFiles files;
    playlist::Library library;
    // Library commands wait, in order, until no library thread works on the categories.
    std::deque<std::function<void()>> waiting;
    // The answer the next file dialog gets (save PATH, load PATH); Cancel without one.
    std::optional<std::string> dialogAnswer;

    void WhenLibraryIdle(std::function<void()> command)
    {
        waiting.push_back(std::move(command));
        RunWaiting();
    }

    void RunWaiting()
    {
        while (!waiting.empty() && !library.Busy()) {
            auto command = std::move(waiting.front());
            waiting.pop_front();
            command();
        }
    }

    void PrintLibrary()
    {
        std::vector<playlist::LibraryRow> rows = library.Rows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            EmitEvent("librow", std::to_string(i) + " " + std::to_string(rows[i].level) + " " + rows[i].text);
        EmitEvent("librows", std::to_string(rows.size()));
    }

    // ".lst" loads as a playlist; other players' lists of local files replace
    // the rows and play. Stream playlists are left to the stream handler.
    bool OpenList(const std::string& path)
    {
        if (EndsWithNoCase(path, ".lst")) {
            player.ClearPlaylist();
            if (!files.LoadPlaylist(path))
                platform::ShowMessageBox("Open Playlist", "Invalid Playlist file.");
            return true;
        }
        if (playlist::ForeignListKindOf(path) == playlist::ForeignListKind::None)
            return false;
        std::optional<std::string> bytes = playlist::ReadListFile(path);
        std::vector<std::string> entries;
        if (bytes)
            entries = playlist::ForeignListKindOf(path) == playlist::ForeignListKind::Pls ? playlist::ParsePls(*bytes)
                                                                                          : playlist::ParseM3u(*bytes);
        if (!entries.empty() && entries.front().find("://") != std::string::npos)
            return false;
        player.StopIfActive();
        player.ClearPlaylist();
        files.LoadForeignList(path);
        if (player.RowCount() == 0) {
            EmitEvent("error", "no playable entries: " + path);
            return true;
        }
        player.SelectRow(0);
        player.Play();
        return true;
    }
};

std::unique_ptr<PlaylistFrontEnd> g_playlist;

} // namespace

playlist::PlaylistFiles* ThePlaylistFiles()
{
    return g_playlist ? &g_playlist->files : nullptr;
}

playlist::Library* TheLibrary()
{
    return g_playlist ? &g_playlist->library : nullptr;
}

void OpenCdDriveAtStart(std::function<void(bool playlistLoaded)> shown)
{
    if (!g_playlist)
        return;
    PlaylistFrontEnd& front = *g_playlist;
    front.WhenLibraryIdle([&front, shown = std::move(shown)] {
        front.library.FillLibrary(1);
        bool loaded = front.files.LoadCdPlaylist();
        if (loaded) {
            front.player.Playlist().SetPlayIndex(-1);
            front.player.SelectRow(0);
        } else if (!front.library.CategoryAt(playlist::Library::kAudioCd).expanded) {
            std::vector<playlist::LibraryRow> rows = front.library.Rows();
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (rows[i].level == 0 && rows[i].category == playlist::Library::kAudioCd)
                    front.library.ToggleCategory(static_cast<int>(i));
            }
        }
        shown(loaded);
    });
}

void RegisterPlaylistHeadlessCommands(PlayerControl& player)
{
    g_playlist = std::make_unique<PlaylistFrontEnd>(player);
    PlaylistFrontEnd& front = *g_playlist;
    player.SetLibrary(&front.library);
    front.library.SetThreadEndStep([] { engine::TheMciSources().CdClose(); });
    front.library.SetCdChangeHandler([&front] { front.files.ApplyCdChange(); });
    front.files.SetFileDialogPresenter([&front](const playlist::FileDialogRequest& request) {
        EmitEvent("dialog", request.title);
        std::optional<std::string> answer = std::move(front.dialogAnswer);
        front.dialogAnswer.reset();
        return answer;
    });

    RegisterHeadlessCommand("list", [&front](const std::string&) {
        playlist::Playlist& rows = front.player.Playlist();
        for (int i = 0; i < rows.RowCount(); ++i)
            EmitEvent("entry", std::to_string(i) + " " + rows.RowText(i));
        EmitEvent("entries", std::to_string(rows.RowCount()));
    });
    RegisterHeadlessCommand("select", [&front](const std::string& arg) {
        int row = 0;
        if (!ParseRow(arg, row) || row >= front.player.RowCount()) {
            EmitEvent("error", "no such row: " + arg);
            return;
        }
        front.player.SelectRow(row);
    });
    // As selecting row N with both mouse buttons: a CD track's naming dialog.
    RegisterHeadlessCommand("cd-info", [&front](const std::string& arg) {
        int row = 0;
        if (!ParseRow(arg, row) || !front.player.NameCdTrack(row))
            EmitEvent("error", "not a CD track row: " + arg);
    });
    RegisterHeadlessCommand("delete", [&front](const std::string&) { front.player.Playlist().DeleteEntry(); });
    RegisterHeadlessCommand("up", [&front](const std::string&) { front.player.Playlist().MoveEntryUp(); });
    RegisterHeadlessCommand("down", [&front](const std::string&) { front.player.Playlist().MoveEntryDown(); });
    RegisterHeadlessCommand("new", [&front](const std::string&) { front.files.ConfirmSaveAndClear(); });
    RegisterHeadlessCommand("save", [&front](const std::string& arg) {
        bool done;
        if (arg.empty()) {
            done = front.files.SavePlaylist();
        } else {
            front.dialogAnswer = arg;
            done = front.files.SavePlaylistAs();
        }
        if (done && !front.files.LastWriteSucceeded())
            EmitEvent("error", "the playlist could not be written");
    });
    RegisterHeadlessCommand("load", [&front](const std::string& arg) {
        // Other players' lists of local files replace the rows; stream playlists stream.
        if (!arg.empty() && playlist::ForeignListKindOf(arg) != playlist::ForeignListKind::None &&
            (front.OpenList(arg) || OfferToOpenHandlers(arg)))
            return;
        if (!arg.empty())
            front.dialogAnswer = arg;
        front.files.OpenPlaylist();
    });
    RegisterHeadlessCommand(
        "library", [&front](const std::string&) { front.WhenLibraryIdle([&front] { front.PrintLibrary(); }); });
    RegisterHeadlessCommand("library-build", [&front](const std::string&) {
        engine::PlayerState state = front.player.Engine().State();
        if (state == engine::kStatePlaying || state == engine::kStatePaused) {
            EmitEvent("error", "the library is built only while nothing plays");
            return;
        }
        front.library.StartLibraryBuild();
    });
    RegisterHeadlessCommand("expand", [&front](const std::string& arg) {
        front.WhenLibraryIdle([&front, arg] {
            int row = 0;
            if (!ParseRow(arg, row) || !front.library.ToggleCategory(row)) {
                EmitEvent("error", "no such category row: " + arg);
                return;
            }
            front.PrintLibrary();
        });
    });
    RegisterHeadlessCommand("play-library", [&front](const std::string& arg) {
        front.WhenLibraryIdle([&front, arg] {
            int row = 0;
            if (!ParseRow(arg, row) || !front.player.PlayLibraryRow(row))
                EmitEvent("error", "not a playable library row: " + arg);
        });
    });

    // A disc arrived: the library's CD entries are rescanned (a changed disc may first
    // save the old disc's playlist) and the disc's own playlist loads. A disc left:
    // its entries go.
    engine::TheCdWatcher().AddArrivalHook([&front](const std::string&) {
        front.WhenLibraryIdle([&front] {
            front.library.FillLibrary(2);
            bool loaded = front.files.LoadCdPlaylist();
            if (loaded) {
                front.player.Playlist().SetPlayIndex(-1);
                front.player.SelectRow(0);
            }
            if (CdArrivalView())
                CdArrivalView()(loaded);
        });
    });
    engine::TheCdWatcher().AddRemovalHook(
        [&front](const std::string&) { front.WhenLibraryIdle([&front] { front.library.FillLibrary(1); }); });
    RegisterOpenHandler([&front](const std::string& path) { return front.OpenList(path); });
    RegisterStartHook([&front](const std::string& file) {
        if (!front.library.StartLibraryLoad())
            front.library.StartLibraryBuild();
        // A station file plays on the radio side; the player side keeps the last run's rows.
        if (file.empty() || EndsWithNoCase(file, ".rdl"))
            front.files.LoadPlaylist(front.files.LastPlayPath());
    });
    RegisterTimerHook([&front] { front.RunWaiting(); });
    RegisterBusyCheck([&front] { return front.library.Busy() || !front.waiting.empty(); });
    RegisterShutdownStep([&front] {
        front.library.Stop();
        platform::MakeDirectories(platform::ProgramDirectory());
        front.files.WritePlaylist(front.files.LastPlayPath());
    });
}

void SetCdArrivalView(std::function<void(bool playlistLoaded)> view)
{
    CdArrivalView() = std::move(view);
}

} // namespace lumetra::app
