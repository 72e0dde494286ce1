#pragma once
// The web services in the headless front end: `directory`, `activate N`,
// `links`, `proxy ...`, stream playlists and station files given to `play` or
// at start-up, and the player's share of a stream on its timer.

#include <functional>
#include <string>

namespace lumetra::web {
class StationDirectory;
}

namespace lumetra::app {

class PlayerControl;

void RegisterWebHeadlessCommands(PlayerControl& player);
// `proxy SERVER PORT USER` from the stored settings (never the password).
void EmitProxyLine();

// The station directory the commands act on (valid once registered); the window
// shows it as the station list.
web::StationDirectory& FrontEndStationDirectory();
// Runs a web command after the one running now, never inside it.
void RunWebCommandInOrder(std::function<void()> command);
// The status line the stream's timer step last asked for ("streaming %d bytes...");
// the window shows it while the stream file fills.
std::string StreamStatusText();

} // namespace lumetra::app
