#pragma once
// What the subsystems registered through headless.h, read by the front end.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lumetra::app {

// Runs the command named by the first word of line; false when none is known.
bool DispatchHeadlessLine(const std::string& line);
bool AnyBusy();
bool OfferToOpenHandlers(const std::string& path);
void RunShutdownSteps();
void RunTimerHooks();
void RunStartHooks(const std::string& file);
// False when no handler is registered for message.
bool DispatchWindowMessage(int message, intptr_t wParam, intptr_t lParam);

// The registered command names, sorted.
std::vector<std::string> HeadlessCommandNames();
// How many `error` events went out so far: a step that printed one failed.
int ErrorEventCount();

// Splits "word rest of line" at the first space.
void SplitCommandLine(const std::string& line, std::string& name, std::string& arg);

} // namespace lumetra::app
