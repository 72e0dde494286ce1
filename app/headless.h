#pragma once
// The headless front end's extension points. Subsystems add their commands and
// say when they are still busy; every event goes out through EmitEvent. Each
// subsystem's registration function is called from headless_commands.cpp.

#include <cstdint>
#include <functional>
#include <string>

namespace lumetra::app {

// name is the first word of an input line; arg is the rest of the line after one
// space (may itself contain spaces), empty when there is none. Runs on the main thread.
void RegisterHeadlessCommand(std::string name, std::function<void(const std::string& arg)> handler);

// One line to standard output, flushed. Thread-safe.
void EmitEvent(const std::string& line);

// At end of input the program waits while any check returns true (polled on the
// main thread every 50 ms).
void RegisterBusyCheck(std::function<bool()> check);

// Run on the main thread during the orderly shutdown, after the decoder is closed
// and before the output device is awaited (the receiver closes here).
void RegisterShutdownStep(std::function<void()> step);

// A path given to `play PATH` or as the start-up argument is offered to these
// first (stream playlists, station files); one that returns true has taken it.
void RegisterOpenHandler(std::function<bool(const std::string& path)> handler);

// Run on the main thread every 50 ms (the player's timer).
void RegisterTimerHook(std::function<void()> hook);

// Window messages posted to the main window (engine::PostWindowMessage to
// TheEngine().MainWindow()) that the player itself does not handle, such as the
// receiver's notices, go to the handler registered for their number.
void RegisterWindowMessageHandler(int message, std::function<void(intptr_t wParam, intptr_t lParam)> handler);

} // namespace lumetra::app
