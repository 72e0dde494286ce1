#include "app/headless_commands.h"

#include "app/headless_playlist.h"
#include "app/headless_radio.h"
#include "app/headless_web.h"

namespace lumetra::app {

void RegisterAllHeadlessCommands(PlayerControl& player)
{
    RegisterPlayerHeadlessCommands(player);
    // Before the web commands: a list of local files is not a stream playlist.
    RegisterPlaylistHeadlessCommands(player);
    RegisterRadioHeadlessCommands();
    RegisterWebHeadlessCommands(player);
}

} // namespace lumetra::app
