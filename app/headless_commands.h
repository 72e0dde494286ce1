#pragma once
// The one place where every subsystem's headless commands are registered.

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
void RegisterPlayerEvents(engine::Engine& engine);

} // namespace lumetra::app
