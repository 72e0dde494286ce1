#include "app/headless_commands.h"

#include "app/headless_radio.h"
#include "app/headless_web.h"

namespace lumetra::app {

void RegisterAllHeadlessCommands(PlayerControl& player)
{
    RegisterPlayerHeadlessCommands(player);
    RegisterRadioHeadlessCommands();
    RegisterWebHeadlessCommands(player);
}

} // namespace lumetra::app
