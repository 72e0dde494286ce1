#pragma once
// The decoder's diagnostic lines (header dump, frame numbers, clip counts,
// sync failures, illegal codes) on standard error. Off unless switched on, so
// the player, its headless front end and the tools keep that stream for
// themselves; LUMETRA_MPEG_DIAGNOSTICS=1 in the environment switches them on.
// Standard output belongs to the headless protocol and is never written.

#include <cstdio>

namespace lumetra::mpeg {

void SetDiagnostics(bool enabled);
bool DiagnosticsEnabled();

// printf to stderr when diagnostics are on. DiagOut carries the lines that
// once went to standard output, DiagErr those that always went to the error stream.
void DiagOut(const char* format, ...) __attribute__((format(printf, 1, 2)));
void DiagErr(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace lumetra::mpeg
