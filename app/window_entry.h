#pragma once
// The window's entry points as start-up sees them. ui/ implements them; the player
// links them in when it is built with its window (LUMETRA_WITH_WINDOW), so app/
// starts the window without depending on ui/.

#include <string>

namespace lumetra::app {

// Whether a window can be shown here: a display server to connect to, or Qt's
// off-screen platform.
bool DisplayAvailable();

// The setup dialog of the start, before the window exists; false when there is
// no display to show it on or it was cancelled.
bool ShowSetupBeforeWindow(int& argc, char** argv);

// Runs the player with its window (and with control, the headless protocol on
// standard input and output beside it) until the window closes or `quit`;
// returns the exit status. handOverFd (-1 for none) is the socket on which later
// starts hand over their files (HeadlessFrontEnd::TakeHandOvers).
int RunWindow(int& argc, char** argv, const std::string& commandLineFile, bool control, int handOverFd,
              const std::string& handOverSocket);

} // namespace lumetra::app
