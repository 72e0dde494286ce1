#pragma once
// The program's entry, step by step: the command line, the settings, the quit
// option, the single instance, then the window or the headless front end.

namespace lumetra::app {

// Returns the exit status (command_line.h); may end the process itself once a
// front end has run, since its input thread may still wait on standard input.
int RunProgram(int argc, char** argv);

} // namespace lumetra::app
