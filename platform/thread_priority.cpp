#include "platform/thread_priority.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lumetra::platform {

namespace {

// Real-time priority of time-critical threads: above ordinary tasks, well below
// the kernel's own real-time threads.
constexpr int kRealTimePriority = 10;

// Moves the niceness of `who` (a thread id, or 0 for the process) toward target:
// down as far as permitted, up always.
void NiceToward(int which, id_t who, int target)
{
    errno = 0;
    int current = getpriority(which, who);
    if (current == -1 && errno != 0)
        return;
    if (target >= current) {
        setpriority(which, who, target);
        return;
    }
    for (int nice = target; nice < current; ++nice)
        if (setpriority(which, who, nice) == 0)
            return;
}

id_t CurrentThreadId()
{
    return static_cast<id_t>(syscall(SYS_gettid));
}

} // namespace

void SetCurrentThreadPriority(ThreadPriority priority)
{
    const id_t self = CurrentThreadId();
    if (priority == ThreadPriority::TimeCritical) {
        sched_param param{};
        param.sched_priority = kRealTimePriority;
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0)
            return;
        NiceToward(PRIO_PROCESS, self, -20);
        return;
    }
    // Leaving real time (if the thread had it) before setting its niceness.
    sched_param normal{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
    switch (priority) {
    case ThreadPriority::BelowNormal:
        NiceToward(PRIO_PROCESS, self, 5);
        break;
    case ThreadPriority::Normal:
        NiceToward(PRIO_PROCESS, self, 0);
        break;
    case ThreadPriority::High:
        NiceToward(PRIO_PROCESS, self, -10);
        break;
    case ThreadPriority::TimeCritical:
        break;
    }
}

void RaiseProcessPriority()
{
    // Niceness belongs to each thread on Linux: every thread there is now.
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks)) {
            char* end = nullptr;
            long tid = std::strtol(entry->d_name, &end, 10);
            if (end != entry->d_name && *end == '\0' && tid > 0)
                NiceToward(PRIO_PROCESS, static_cast<id_t>(tid), -10);
        }
        closedir(tasks);
        return;
    }
    NiceToward(PRIO_PROCESS, 0, -10);
}

} // namespace lumetra::platform
