#include "app/command_line.h"

#include "settings/settings.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <cstring>

namespace lumetra::app {
namespace {

constexpr unsigned kDefaultStationPort = 3456;

// A surrounding pair of double quotes, as a desktop launcher may leave them.
std::string Unquoted(const char* arg)
{
    std::string text = arg;
    if (!text.empty() && text[0] == '"')
        text = text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string();
    return text;
}

// 1..65535 written in decimal digits only.
bool ParsePort(const std::string& text, unsigned& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    port = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        port = port * 10 + unsigned(c - '0');
    }
    return port >= 1 && port <= 65535;
}

bool IsDottedIpv4(const std::string& host)
{
    in_addr addr{};
    return inet_pton(AF_INET, host.c_str(), &addr) == 1;
}

bool IsIpv6(const std::string& host)
{
    in6_addr addr{};
    return inet_pton(AF_INET6, host.c_str(), &addr) == 1;
}

} // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv)
{
    CommandLine line;
    bool optionsEnded = false;
    bool haveArgument = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                optionsEnded = true;
            } else if (arg == "--help" || arg == "-h") {
                line.action = CommandLine::Action::Help;
                return line;
            } else if (arg == "--version") {
                line.action = CommandLine::Action::Version;
                return line;
            } else if (arg == "--has-window") {
                line.action = CommandLine::Action::HasWindow;
                return line;
            } else if (arg == "--headless") {
                line.headless = true;
            } else if (arg == "--control") {
                line.control = true;
            } else {
                line.action = CommandLine::Action::UsageError;
                line.error = "unknown option: " + arg;
                return line;
            }
            continue;
        }
        if (haveArgument) {
            line.action = CommandLine::Action::UsageError;
            line.error = "one file or address at most (a second was given: " + arg + ")";
            return line;
        }
        line.argument = Unquoted(argv[i]);
        haveArgument = true;
    }
    if (line.headless && line.control) {
        line.action = CommandLine::Action::UsageError;
        line.error = "--headless and --control exclude each other";
    }
    return line;
}

std::string UsageText()
{
    return "Usage: lumetra [--headless | --control] [FILE | HOST:PORT | /q]\n"
           "\n"
           "Lumetra Media Player: MPEG audio, WAV, ASF/WMA, MIDI and Audio CD, playlists,\n"
           "a music library and Radio Lumetra stations.\n"
           "\n"
           "Front ends:\n"
           "  (none)        the skinned window when a display exists, else as --headless\n"
           "  --headless    no window: commands on standard input, one event per line on\n"
           "                standard output (type 'help' for the commands, 'quit' or\n"
           "                'q' to end; end of input ends once nothing plays)\n"
           "  --control     the window, and the same commands and events on standard\n"
           "                input and output\n"
           "\n"
           "Argument:\n"
           "  FILE          a media file (MPEG audio, WAV, ASF/WMA, MIDI, CD track)\n"
           "                plays; a playlist (.lst) loads; a stream playlist (.m3u\n"
           "                .pls ...) streams; a station file (.rdl) tunes in\n"
           "  HOST:PORT     tunes in to the radio station at that address, e.g.\n"
           "                127.0.0.1:3456 (HOST is a dotted IPv4 address or localhost)\n"
           "  /q            exits at once\n"
           "  (none)        loads the playlist of the previous run\n"
           "\n"
           "While a player runs, a start without --headless or --control hands its\n"
           "argument to that player and exits 0.\n"
           "\n"
           "Options:\n"
           "  -h, --help    this text\n"
           "  --version     the version\n"
           "  --            ends the options (for a file whose name starts with -)\n"
           "\n"
           "Environment:\n"
           "  LUMETRA_AUDIO      sound output: pulse, alsa[:PCM], null, file:PATH.wav,\n"
           "                     file-fast:PATH.wav (default: pulse when a server\n"
           "                     answers, else alsa, else null)\n"
           "  LUMETRA_DIRECTORY  station directory server HOST:PORT (default: the\n"
           "                     setting, else 127.0.0.1:8642)\n"
           "  LUMETRA_DRIVES     folders scanned as drives for the library, ':' between\n"
           "  LUMETRA_CDROM      CD images (.cue/.bin) used as CD drives, ':' between\n"
           "\n"
           "Settings live in $XDG_CONFIG_HOME/lumetra/ (registry.reg, zeph.ini,\n"
           "cdplayer.ini), data in $XDG_DATA_HOME/lumetra/ (lastplay.lst, library.lst).\n"
           "\n"
           "Exit status: 0 done, 1 the argument could not be played, 2 usage error.\n";
}

std::string VersionText()
{
    return "Lumetra Media Player " + std::string(settings::kProgramVersion) + "\n";
}

std::optional<std::string> StationAddressText(const std::string& text, std::string* error)
{
    if (error)
        *error = "not a station address (a.b.c.d:PORT, localhost:PORT or [::1]:PORT): " + text;
    std::string host = text;
    std::string portText;
    if (!text.empty() && text[0] == '[') {
        std::size_t close = text.find(']');
        if (close == std::string::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        std::string rest = text.substr(close + 1);
        if (rest.empty() || rest[0] != ':' || !IsIpv6(host))
            return std::nullopt;
        portText = rest.substr(1);
    } else {
        std::size_t colon = text.find(':');
        if (colon != std::string::npos) {
            host = text.substr(0, colon);
            portText = text.substr(colon + 1);
            if (portText.empty())
                return std::nullopt;
        }
    }
    unsigned port = kDefaultStationPort;
    if (!portText.empty() && !ParsePort(portText, port))
        return std::nullopt;
    if (host == "localhost")
        host = "127.0.0.1";
    if (IsDottedIpv4(host))
        return host + ":" + std::to_string(port);
    if (IsIpv6(host)) {
        // The receiver speaks IPv4; the loopback is the same station either way.
        if (host == "::1")
            return "127.0.0.1:" + std::to_string(port);
        in6_addr addr{};
        inet_pton(AF_INET6, host.c_str(), &addr);
        if (IN6_IS_ADDR_V4MAPPED(&addr)) {
            char v4[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &addr.s6_addr[12], v4, sizeof v4);
            return std::string(v4) + ":" + std::to_string(port);
        }
        if (error)
            *error = "IPv6 stations cannot be received, only IPv4 ones: " + text;
        return std::nullopt;
    }
    return std::nullopt;
}

bool IsStationArgument(const std::string& argument)
{
    if (argument.find(':') == std::string::npos || !StationAddressText(argument))
        return false;
    struct stat info {};
    return stat(argument.c_str(), &info) != 0;
}

} // namespace lumetra::app
