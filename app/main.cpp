// lumetra [--headless | --control] [ARG]: the player; command_line.h has the
// grammar. With a display it shows its window (and with --control also speaks the
// headless protocol); --headless runs without one. --has-window exits 0 when a
// window can be shown, else 1.
//
// Built twice: `lumetra` without the window, which hands every run that wants one
// to `lumetra-window` beside it (the same program with the window), so that the
// player without a window maps no widget or graphics library.

#include "app/command_line.h"
#include "app/headless_front_end.h"
#include "engine/engine.h"
#include "platform/audio/wave_out.h"
#include "settings/settings.h"

#include <QCoreApplication>

#ifdef LUMETRA_WITH_WINDOW
#include "app/window_entry.h"
#else
#include <climits>
#include <string>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>

#ifndef LUMETRA_WITH_WINDOW
namespace {

// Becomes lumetra-window with the same arguments; returns only when it cannot.
void StartWindowProgram(char** argv)
{
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return;
    std::string path(self, static_cast<std::size_t>(n));
    path = path.substr(0, path.rfind('/') + 1) + "lumetra-window";
    execv(path.c_str(), argv);
}

} // namespace
#endif

int main(int argc, char** argv)
{
    using lumetra::app::CommandLine;
    CommandLine line = lumetra::app::ParseCommandLine(argc, argv);
    switch (line.action) {
    case CommandLine::Action::Help:
        std::fputs(lumetra::app::UsageText().c_str(), stdout);
        return lumetra::app::kExitOk;
    case CommandLine::Action::Version:
        std::fputs(lumetra::app::VersionText().c_str(), stdout);
        return lumetra::app::kExitOk;
    case CommandLine::Action::HasWindow:
#ifdef LUMETRA_WITH_WINDOW
        return lumetra::app::DisplayAvailable() ? 0 : 1;
#else
        StartWindowProgram(argv);
        return 1;
#endif
    case CommandLine::Action::UsageError:
        std::fprintf(stderr, "lumetra: %s\nTry 'lumetra --help' for more information.\n", line.error.c_str());
        return lumetra::app::kExitUsage;
    case CommandLine::Action::Run:
        break;
    }
#ifndef LUMETRA_WITH_WINDOW
    if (!line.headless)
        StartWindowProgram(argv);
#endif
    // Settings come first: the directory's speed filter and expansion rules read them.
    lumetra::settings::LoadSettings();
    if (!line.headless) {
#ifdef LUMETRA_WITH_WINDOW
        int status = lumetra::app::RunWindow(argc, argv, line.argument, line.control);
        std::fflush(stdout);
        std::_Exit(status);
#else
        std::fprintf(stderr, "lumetra: built without its window; run with --headless\n");
        return 1;
#endif
    }
    QCoreApplication app(argc, argv);
    lumetra::app::HeadlessFrontEnd frontEnd(lumetra::engine::TheEngine(), lumetra::platform::audio::TheAudioSystem());
    int status = frontEnd.Run(line.argument);
    std::fflush(stdout);
    // The input thread may still wait on standard input; end without unwinding it.
    std::_Exit(status);
}
