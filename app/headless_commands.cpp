#include "app/headless_commands.h"

#include "app/headless_playlist.h"
#include "app/headless_radio.h"
#include "app/headless_web.h"
#include "app/player_control.h"

namespace lumetra::app {

void RegisterAllHeadlessCommands(PlayerControl& player, platform::audio::Mixer& mixer)
{
    RegisterPlayerHeadlessCommands(player);
    // Before the web commands: a list of local files is not a stream playlist.
    RegisterPlaylistHeadlessCommands(player);
    RegisterRadioHeadlessCommands(player.Engine(), mixer);
    RegisterWebHeadlessCommands(player);
    RegisterHelpCommand();
}

} // namespace lumetra::app
