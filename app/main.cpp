// lumetra [--headless] [ARG]: the player; command_line.h has the grammar. Until
// the window exists it always runs headless; --has-window answers whether a
// window can be shown.

#include "app/command_line.h"
#include "app/headless_front_end.h"
#include "engine/engine.h"
#include "platform/audio/wave_out.h"
#include "settings/settings.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

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
        return 1;
    case CommandLine::Action::UsageError:
        std::fprintf(stderr, "lumetra: %s\nTry 'lumetra --help' for more information.\n", line.error.c_str());
        return lumetra::app::kExitUsage;
    case CommandLine::Action::Run:
        break;
    }
    // Settings come first: the directory's speed filter and expansion rules read them.
    lumetra::settings::LoadSettings();
    QCoreApplication app(argc, argv);
    lumetra::app::HeadlessFrontEnd frontEnd(lumetra::engine::TheEngine(), lumetra::platform::audio::TheAudioSystem());
    int status = frontEnd.Run(line.argument);
    std::fflush(stdout);
    // The input thread may still wait on standard input; end without unwinding it.
    std::_Exit(status);
}
