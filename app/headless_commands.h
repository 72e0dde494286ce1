#pragma once
// The one place where every subsystem's headless commands are registered.

namespace lumetra::app {

class PlayerControl;
}
namespace lumetra::engine {
class Engine;
}
namespace lumetra::app {

void RegisterPlayerHeadlessCommands(PlayerControl& player);
void RegisterAllHeadlessCommands(PlayerControl& player);
// state, item and position events and the status command.
void RegisterPlayerEvents(engine::Engine& engine);

} // namespace lumetra::app
