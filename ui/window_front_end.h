#pragma once
// Runs the player with its window: `lumetra [ARG]`, and with the headless
// protocol beside it, `lumetra --control [ARG]`.

#include <string>

namespace lumetra::ui {

// Whether a window can be shown here: a display server to connect to, or Qt's
// off-screen platform.
bool DisplayAvailable();

// Runs until the window closes (or `quit`); returns the exit status.
int RunWindow(int& argc, char** argv, const std::string& commandLineFile, bool control);

} // namespace lumetra::ui
