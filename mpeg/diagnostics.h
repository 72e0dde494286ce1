#pragma once
// The decoder's diagnostic lines (header dump, frame numbers, clip counts,
// sync failures) on the standard output and error streams. Off unless switched
// on, so the player, its headless front end and the tools keep those streams
// for themselves; LUMETRA_MPEG_DIAGNOSTICS=1 in the environment switches them on.

#include <cstdio>

namespace lumetra::mpeg {

void SetDiagnostics(bool enabled);
bool DiagnosticsEnabled();

// printf to stdout / stderr when diagnostics are on.
void DiagOut(const char* format, ...) __attribute__((format(printf, 1, 2)));
void DiagErr(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace lumetra::mpeg
