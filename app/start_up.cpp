#include "app/start_up.h"
#include "app/command_line.h"
#include "app/file_associations.h"
#include "app/headless.h"
#include "app/headless_front_end.h"
#include "app/single_instance.h"
#include "engine/engine.h"
#include "platform/audio/wave_out.h"
#include "platform/drives/program_directory.h"
#include "platform/loop/poll_main_loop.h"
#include "settings/preferences.h"
#include "settings/settings.h"

#ifdef LUMETRA_WITH_WINDOW
#include "app/window_entry.h"
#else
#include <climits>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace lumetra::app {

namespace {

// The longest command-line file kept; a longer argument is cut there, as the
// copy into the fixed buffer always did.
constexpr std::size_t kMaxCommandLineFile = 4096;

// "/q" or "/Q", whatever follows.
bool IsQuitOption(const std::string& argument)
{
    return argument.size() >= 2 && argument[0] == '/' && (argument[1] == 'q' || argument[1] == 'Q');
}

// The command-line file as the player keeps it: at most kMaxCommandLineFile
// bytes, and a relative file name made absolute, so a hand-over to a player
// started elsewhere and the playlist saved at exit still find it.
std::string CommandLineFile(const std::string& argument)
{
    std::string file = argument;
    if (!file.empty() && file[0] != '/' && !IsStationArgument(file)) {
        std::error_code error;
        std::filesystem::path here = std::filesystem::current_path(error);
        if (!error)
            file = (here / file).string();
    }
    return file.substr(0, kMaxCommandLineFile);
}

// Ends without unwinding: the headless input thread may still wait on standard input.
[[noreturn]] void End(int status)
{
    std::fflush(stdout);
    std::_Exit(status);
}

#ifndef LUMETRA_WITH_WINDOW
// Becomes lumetra-window, beside this program, with the same arguments;
// returns only when it cannot.
void StartWindowProgram(char** argv)
{
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return;
    std::string path(self, static_cast<std::size_t>(n));
    path = path.substr(0, path.rfind('/') + 1) + "lumetra-window";
    ::execv(path.c_str(), argv);
}
#endif

// The setup dialog in the window, and as an event for the protocol.
void ShowSetupAtStart([[maybe_unused]] int& argc, [[maybe_unused]] char** argv, const CommandLine& line)
{
    if (line.headless || line.control)
        EmitEvent("dialog", settings::kSetupTitle);
#ifdef LUMETRA_WITH_WINDOW
    if (!line.headless)
        ShowSetupBeforeWindow(argc, argv);
#endif
}

} // namespace

int RunProgram(int argc, char** argv)
{
    CommandLine line = ParseCommandLine(argc, argv);
    switch (line.action) {
    case CommandLine::Action::Help:
        std::fputs(UsageText().c_str(), stdout);
        return kExitOk;
    case CommandLine::Action::Version:
        std::fputs(VersionText().c_str(), stdout);
        return kExitOk;
    case CommandLine::Action::HasWindow:
#ifdef LUMETRA_WITH_WINDOW
        return DisplayAvailable() ? 0 : 1;
#else
        StartWindowProgram(argv);
        return 1;
#endif
    case CommandLine::Action::UsageError:
        std::fprintf(stderr, "lumetra: %s\nTry 'lumetra --help' for more information.\n", line.error.c_str());
        return kExitUsage;
    case CommandLine::Action::Run:
        break;
    }

    // The program without a window has done the steps up to the single instance
    // already when it hands a window run over to this one.
    std::optional<InstanceClaim> inherited = InheritedClaim();

    // 1. The settings (the directory's speed filter and expansion rules read them)
    //    and the program directory, where lastplay.lst, library.lst and the
    //    stream file live.
    settings::LoadSettings();
    platform::MakeDirectories(platform::ProgramDirectory());

    // 2. File associations and the desktop entry, as the settings ask (once: the
    //    window program that inherits a claim finds them done).
#ifndef LUMETRA_WITH_WINDOW
    // The setup dialog is the window program's: a window run starts over there.
    if (!line.headless && settings::CurrentSettings().checkMp3File == 2)
        StartWindowProgram(argv);
#endif
    if (!inherited)
        ApplyAssociationSettings(settings::CurrentSettings(), [&] { ShowSetupAtStart(argc, argv, line); });

    // 3. "/q" ends the program here.
    if (IsQuitOption(line.argument))
        return kExitOk;

    // 4. One player per session: a plain start hands its file to the running
    //    player and ends.
    std::string file = CommandLineFile(line.argument);
    InstanceClaim claim = inherited ? std::move(*inherited) : ClaimInstance(file, !line.headless && !line.control);
    if (claim.outcome == InstanceClaim::Outcome::HandedOver)
        return kExitOk;

    // 5. The player, with its window or without.
    if (!line.headless) {
#ifdef LUMETRA_WITH_WINDOW
        End(RunWindow(argc, argv, file, line.control, claim.listenFd, claim.socketPath));
#else
        PassClaimAcrossExec(claim);
        StartWindowProgram(argv);
        std::fprintf(stderr, "lumetra: built without its window (lumetra-window); run with --headless\n");
        return 1;
#endif
    }
    // No toolkit here: the player without a window maps no Qt library at all.
    platform::PollMainLoop loop;
    platform::InstallMainLoop(&loop);
    HeadlessFrontEnd frontEnd(engine::TheEngine(), platform::audio::TheAudioSystem());
    frontEnd.TakeHandOvers(claim.listenFd, claim.socketPath);
    End(frontEnd.Run(file));
}

} // namespace lumetra::app
