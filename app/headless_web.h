#pragma once
// The web services in the headless front end: `directory`, `activate N`,
// `links`, `proxy ...`, stream playlists and station files given to `play` or
// at start-up, and the player's share of a stream on its timer.

namespace lumetra::app {

class PlayerControl;

void RegisterWebHeadlessCommands(PlayerControl& player);
// `proxy SERVER PORT USER` from the stored settings (never the password).
void EmitProxyLine();

} // namespace lumetra::app
