#include "platform/thread_priority.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace lumetra::platform {
namespace {

int OwnNiceness()
{
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

// Time-critical gets real-time scheduling where permitted, else a niceness no
// worse than before; below-normal always lowers the thread's standing, and only
// the calling thread's.
TEST(ThreadPriorityTest, RaisesAndLowersOnlyTheCallingThread)
{
    const int mainNice = OwnNiceness();
    std::thread([&] {
        const int before = OwnNiceness();
        SetCurrentThreadPriority(ThreadPriority::TimeCritical);
        int policy = 0;
        sched_param param{};
        pthread_getschedparam(pthread_self(), &policy, &param);
        EXPECT_TRUE(policy == SCHED_FIFO || OwnNiceness() <= before);

        SetCurrentThreadPriority(ThreadPriority::BelowNormal);
        pthread_getschedparam(pthread_self(), &policy, &param);
        EXPECT_EQ(policy, SCHED_OTHER);
        EXPECT_GE(OwnNiceness(), 5);
    }).join();
    EXPECT_EQ(OwnNiceness(), mainNice);
}

} // namespace
} // namespace lumetra::platform
