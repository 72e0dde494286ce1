#pragma once
// The player's command line, shared by the window and the headless front end:
//   lumetra [--headless | --control] [--] [FILE | HOST:PORT | [V6]:PORT | /q]
// plus --help/-h, --version and --has-window. Exit statuses: 0 the run did its
// job, 1 the argument could not be played, 2 a usage error.

#include <optional>
#include <string>

namespace lumetra::app {

inline constexpr int kExitOk = 0;
inline constexpr int kExitNotPlayable = 1;
inline constexpr int kExitUsage = 2;

struct CommandLine {
    enum class Action { Run, Help, Version, HasWindow, UsageError };
    Action action = Action::Run;
    bool headless = false;
    bool control = false;
    // The file or address, a surrounding pair of double quotes dropped; empty when none.
    std::string argument;
    std::string error; // for UsageError, without the program name
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

// The text of --help and of --version, each ending in a newline.
std::string UsageText();
std::string VersionText();

// The receiver's form ("a.b.c.d:PORT") of a station address given as
// "a.b.c.d[:PORT]", "localhost[:PORT]" or "[V6]:PORT"; nothing when text is not
// one (error then says why). A missing port is the station default. The receiver
// speaks IPv4, so of IPv6 addresses only the loopback and v4-mapped ones are taken.
std::optional<std::string> StationAddressText(const std::string& text, std::string* error = nullptr);

// Whether a command-line argument names a station rather than a file: it has
// the address form with an explicit port and no such file exists.
bool IsStationArgument(const std::string& argument);

} // namespace lumetra::app
