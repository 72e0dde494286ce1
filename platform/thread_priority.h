#pragma once
// Thread and process priorities: real-time scheduling where the system permits it,
// else the lowest niceness allowed. Failures are silent; the thread just runs on.

namespace lumetra::platform {

enum class ThreadPriority { BelowNormal, Normal, High, TimeCritical };

// Applies to the calling thread only.
void SetCurrentThreadPriority(ThreadPriority priority);

// The process's "high priority class": a niceness of -10 where allowed, or the
// nearest to it. Threads started later inherit it.
void RaiseProcessPriority();

} // namespace lumetra::platform
