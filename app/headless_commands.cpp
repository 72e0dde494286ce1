#include "app/headless_commands.h"

namespace lumetra::app {

void RegisterAllHeadlessCommands(PlayerControl& player)
{
    RegisterPlayerHeadlessCommands(player);
    // The receiver and the web services register theirs here.
}

} // namespace lumetra::app
