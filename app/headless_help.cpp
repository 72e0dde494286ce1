// `help`: one `help` event per command, with its arguments and what it does.
// Commands registered without an entry here are listed by name alone.

#include "app/headless.h"
#include "app/headless_commands.h"
#include "app/headless_registry.h"

#include <map>
#include <string>

namespace lumetra::app {
namespace {

const std::map<std::string, std::string>& Descriptions()
{
    static const std::map<std::string, std::string> table = {
        {"activate", "activate N: open or close directory row N, or tune its station"},
        {"add", "add PATH: add a file to the playlist"},
        {"delete", "delete: delete the selected playlist row"},
        {"directory", "directory: fetch the station directory and list its rows"},
        {"down", "down: move the selected playlist row down"},
        {"expand", "expand N: open or close library row N"},
        {"help", "help: this list"},
        {"library", "library: list the music library"},
        {"library-build", "library-build: build the music library"},
        {"links", "links: fetch and list the web links"},
        {"list", "list: list the playlist"},
        {"load", "load PATH: open a playlist file"},
        {"mute", "mute: toggle mute"},
        {"new", "new: empty the playlist"},
        {"next", "next: next row"},
        {"pause", "pause: pause"},
        {"play", "play [PATH]: play a file, playlist, stream or station file; alone: play or resume"},
        {"play-library", "play-library N: play library row N"},
        {"prev", "prev: previous row, or restart the current one"},
        {"proxy", "proxy SERVER PORT USER PASSWORD: store the HTTP proxy (- for none)"},
        {"radio", "radio ADDRESS [NAME]: tune in to the station at ADDRESS (a.b.c.d:PORT)"},
        {"radio-stop", "radio-stop: stop the radio"},
        {"repeat", "repeat: toggle repeat"},
        {"save", "save [PATH]: save the playlist"},
        {"seek", "seek SECONDS: play the current item from that time"},
        {"select", "select N: select playlist row N"},
        {"shuffle", "shuffle: toggle shuffle"},
        {"status", "status: print the state, position, item, volume and modes"},
        {"stop", "stop: stop"},
        {"up", "up: move the selected playlist row up"},
        {"volume", "volume N: set the volume, 0 to 65535"},
    };
    return table;
}

} // namespace

void RegisterHelpCommand()
{
    RegisterHeadlessCommand("help", [](const std::string&) {
        for (const std::string& name : HeadlessCommandNames()) {
            auto it = Descriptions().find(name);
            EmitEvent("help", it != Descriptions().end() ? it->second : name);
        }
        EmitEvent("help", "quit (or q, exit): end now");
    });
}

} // namespace lumetra::app
