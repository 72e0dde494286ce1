#include "app/headless.h"
#include "app/headless_registry.h"
#include "app/main_window.h"
#include "engine/window_message.h"
#include "platform/loop/poll_main_loop.h"

#include <gtest/gtest.h>

namespace lumetra::app {
namespace {

TEST(HeadlessLines, FirstWordNamesTheCommandAndTheRestIsItsArgument)
{
    std::string name, arg;
    SplitCommandLine("play /music/a b/c.mp3", name, arg);
    EXPECT_EQ(name, "play");
    EXPECT_EQ(arg, "/music/a b/c.mp3");
    SplitCommandLine("pause", name, arg);
    EXPECT_EQ(name, "pause");
    EXPECT_EQ(arg, "");

    std::string seen;
    RegisterHeadlessCommand("echo-test", [&](const std::string& a) { seen = a; });
    EXPECT_TRUE(DispatchHeadlessLine("echo-test  two spaces"));
    EXPECT_EQ(seen, " two spaces");
    EXPECT_FALSE(DispatchHeadlessLine("echo-tes x"));
}

// Messages the window has no handler of its own for reach the registered one, on
// the window's thread, with their parameters.
TEST(HeadlessRegistry, WindowMessagesReachRegisteredHandlers)
{
    platform::PollMainLoop loop;
    platform::InstallMainLoop(&loop);
    MainWindow window;
    std::vector<std::pair<intptr_t, intptr_t>> notices;
    RegisterWindowMessageHandler(1025, [&](intptr_t w, intptr_t l) { notices.emplace_back(w, l); });
    int ends = 0;
    window.SetHandler(engine::kMsgEndOfTrack, [&](intptr_t, intptr_t) { ++ends; });
    engine::PostWindowMessage(&window, 1025, 6874, 42);
    engine::PostWindowMessage(&window, engine::kMsgEndOfTrack, 0, 0);
    engine::PostWindowMessage(&window, 4242, 0, 0);
    {
        // An end-of-track message is pending until handled, or dropped with its target.
        MainWindow gone;
        gone.SetHandler(engine::kMsgEndOfTrack, [&](intptr_t, intptr_t) { ++ends; });
        engine::PostWindowMessage(&gone, engine::kMsgEndOfTrack, 0, 0);
        EXPECT_EQ(engine::PendingEndOfTrackMessages(), 2);
    }
    EXPECT_EQ(engine::PendingEndOfTrackMessages(), 1);
    loop.ProcessEvents(0);
    platform::InstallMainLoop(nullptr);
    EXPECT_EQ(notices, (std::vector<std::pair<intptr_t, intptr_t>>{{6874, 42}}));
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(engine::PendingEndOfTrackMessages(), 0);
}

} // namespace
} // namespace lumetra::app
