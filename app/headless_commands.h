#pragma once
// The one place where every subsystem's headless commands are registered.

#include <string>

namespace lumetra::app {

class PlayerControl;
}
namespace lumetra::engine {
class Engine;
}
namespace lumetra::platform::audio {
class Mixer;
}
namespace lumetra::app {

void RegisterPlayerHeadlessCommands(PlayerControl& player);
void RegisterAllHeadlessCommands(PlayerControl& player, platform::audio::Mixer& mixer);
// state, item and position events and the status command.
void RegisterPlayerEvents(engine::Engine& engine, PlayerControl& player);
// Whether the player has been playing since start-up.
bool PlaybackStarted();
// "no such file: PATH" or "not playable: PATH", for a path that could not be added.
std::string NotPlayableText(const std::string& path);
// The help command: every command with its arguments.
void RegisterHelpCommand();

} // namespace lumetra::app
