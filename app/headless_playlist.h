#pragma once
// The playlist and library commands of the headless front end (list, select,
// delete, up, down, new, save, load, library, library-build, expand, play-library),
// the playlist of the last run and the library loaded or built at start-up.

namespace lumetra::app {

class PlayerControl;

void RegisterPlaylistHeadlessCommands(PlayerControl& player);

} // namespace lumetra::app
