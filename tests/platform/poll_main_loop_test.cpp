#include "platform/loop/poll_main_loop.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace lumetra::platform {
namespace {

// Each case sets up its work on a fresh loop, which then runs until a Quit;
// the log shows what ran, in order.
struct Case {
    const char* name;
    std::function<void(PollMainLoop& loop, std::string& log)> setUp;
    const char* log;
    int status;
};

TEST(PollMainLoop, RunsPostsTimersWatchesAndScopesUntilQuit)
{
    std::thread poster;
    std::atomic<int> posted{0};
    int pipeFds[2] = {-1, -1};
    std::unique_ptr<FdWatch> watch;
    std::unique_ptr<LoopTimer> timer;
    LoopScope living;
    const Case cases[] = {
        {"posts from another thread keep their order, Quit from there too",
         [&](PollMainLoop& loop, std::string& log) {
             poster = std::thread([&] {
                 for (char c : std::string("abcdefgh"))
                     PostToMainLoop([&log, &posted, c] { log += c, ++posted; });
                 while (posted < 8)
                     std::this_thread::yield();
                 loop.Quit(7);
             });
         },
         "abcdefgh", 7},
        {"a repeating timer runs until stopped; a single shot once",
         [&](PollMainLoop& loop, std::string& log) {
             TheMainLoop().StartTimer(1, false, [&] { log += 's'; });
             timer = std::make_unique<LoopTimer>([&] {
                 log += 't';
                 if (log.size() == 4)
                     timer->Stop(), loop.Quit(1);
             });
             timer->Start(2);
         },
         "sttt", 1},
        {"a watch sees data, then the hang-up",
         [&](PollMainLoop& loop, std::string& log) {
             ASSERT_EQ(::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC), 0);
             ASSERT_EQ(::write(pipeFds[1], "xy", 2), 2);
             watch = std::make_unique<FdWatch>(pipeFds[0], [&] {
                 char byte;
                 ssize_t n;
                 while ((n = ::read(pipeFds[0], &byte, 1)) == 1)
                     log += byte;
                 if (n != 0) {
                     ::close(pipeFds[1]);
                     return;
                 }
                 log += '.';
                 loop.Quit(2);
                 watch.reset();
             });
         },
         "xy.", 2},
        {"a scope's tasks die with it; one that waits sees later tasks run in order",
         [&](PollMainLoop& loop, std::string& log) {
             {
                 LoopScope dead;
                 dead.Post([&] { log += "dead"; });
                 dead.After(0, [&] { log += "dead"; });
             }
             living.Post([&] {
                 log += '(' + std::to_string(loop.Level());
                 while (log.find('c') == std::string::npos)
                     loop.ProcessEvents(10);
                 log += ')';
             });
             living.Post([&] { log += 'b'; });
             living.Post([&] { log += 'c'; });
             living.After(5, [&] { log += 'd', loop.Quit(3); });
         },
         "(1bc)d", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PollMainLoop loop;
        InstallMainLoop(&loop);
        std::string log;
        c.setUp(loop, log);
        EXPECT_EQ(loop.Run(), c.status);
        EXPECT_EQ(log, c.log);
        if (poster.joinable())
            poster.join();
        timer.reset();
        InstallMainLoop(nullptr);
    }
    ::close(pipeFds[0]);
}

} // namespace
} // namespace lumetra::platform
