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

int main(int argc, char** argv)
{
    return lumetra::app::RunProgram(argc, argv);
}
