// lumetra [--headless | --control] [ARG]: the player; command_line.h has the
// grammar and start_up.cpp the order of the start. With a display it shows its
// window (and with --control also speaks the headless protocol); --headless runs
// without one. --has-window exits 0 when a window can be shown, else 1.
//
// Built twice: `lumetra` without the window, which hands every run that wants one
// to `lumetra-window` beside it (the same program with the window), so that the
// player without a window, and a later start that only hands its file over, map
// no widget or graphics library.

#include "app/start_up.h"

#include <csignal>

namespace {

extern "C" void IgnoreBrokenPipe(int) {}

} // namespace

int main(int argc, char** argv)
{
    // A reader of the events that goes away must not kill the player at its next
    // event: it would end without its orderly shutdown and leave the stream file
    // behind. The write fails instead, and a quit still shuts down in order. A
    // handler rather than SIG_IGN, so programs started from here get the default.
    struct sigaction action {};
    action.sa_handler = IgnoreBrokenPipe;
    action.sa_flags = SA_RESTART;
    sigaction(SIGPIPE, &action, nullptr);
    return lumetra::app::RunProgram(argc, argv);
}
