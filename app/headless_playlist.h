#pragma once
// The playlist and library commands of the headless front end (list, select,
// delete, up, down, new, save, load, library, library-build, expand, play-library),
// the playlist of the last run and the library loaded or built at start-up.

#include <functional>

namespace lumetra::playlist {
class Library;
class PlaylistFiles;
} // namespace lumetra::playlist
namespace lumetra::app {

class PlayerControl;

void RegisterPlaylistHeadlessCommands(PlayerControl& player);

// The files and library those commands work on, for the window to share (nullptr
// before the registration).
playlist::PlaylistFiles* ThePlaylistFiles();
playlist::Library* TheLibrary();

// Told once a disc's arrival has been handled: whether the disc's own playlist
// loaded (the window then shows the playlist, else the library's CD entry).
void SetCdArrivalView(std::function<void(bool playlistLoaded)> view);

// A CD drive given at start-up, once no library thread runs: the library's CD
// entries are read again and the disc's own playlist loads; when there is none,
// the library's Audio CD category is opened. shown gets whether the playlist loaded.
void OpenCdDriveAtStart(std::function<void(bool playlistLoaded)> shown);

} // namespace lumetra::app
