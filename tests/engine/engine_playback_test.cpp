#include "engine_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace lumetra::engine::testing {
namespace {

// Every "restart N" in the log, N being the buffers queued at the device.
std::vector<int> Restarts(EventLog& log)
{
    std::vector<int> counts;
    for (const auto& e : log.Entries()) {
        if (e.rfind("restart ", 0) == 0)
            counts.push_back(std::stoi(e.substr(8)));
    }
    return counts;
}

struct QueueCase {
    int32_t sampleRate;
    int32_t samplesPerFrame;
    int buffers; // priming buffer included
};

class QueueTargetTest : public EngineTest, public ::testing::WithParamInterface<QueueCase> {};

// Sound starts exactly when three seconds (the priming buffer counted as a frame)
// are queued; stopping then closes the device only with every buffer back.
TEST_P(QueueTargetTest, StartsAtThreeSecondsAndStopsWithoutEndNotice)
{
    audio.clock = false;
    const QueueCase& c = GetParam();
    FakeTrack t;
    t.sampleRate = c.sampleRate;
    t.samplesPerFrame = c.samplesPerFrame;
    t.frames = 2000;
    Engine& engine = Open("long.mp3", t);
    EXPECT_EQ(Restarts(log), std::vector<int>{c.buffers});
    EXPECT_EQ(engine.QueuedCount(), c.buffers);
    EXPECT_EQ(engine.State(), kStatePlaying);
    EXPECT_EQ(decoder.decoded, c.buffers - 1);

    // Half the queue played (the priming buffer first): more than the refill
    // step, so every played buffer is replaced. They are played under the engine
    // lock, as one batch: a buffer thread still awake would otherwise take the
    // first returns at once and leave the rest, too few to wake it, for later.
    const int played = c.buffers / 2;
    {
        std::lock_guard g(lock);
        audio.LastDevice()->PlayBuffers(played);
    }
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard g(lock);
        return decoder.decoded == c.buffers - 1 + played;
    }));
    {
        std::lock_guard g(lock);
        EXPECT_EQ(engine.PlayedPosition(), (played - 1) * t.samplesPerFrame);
        EXPECT_EQ(engine.QueuedCount(), c.buffers);
        // The meter shows the last returned frame's peak over every 32nd sample, / 4.
        int32_t peak = 0;
        for (int32_t i = 0; i < t.samplesPerFrame * t.channels; i += 32)
            peak = std::max(peak, std::abs(static_cast<int32_t>(FakeSample(played - 2, i))));
        EXPECT_EQ(engine.Level(), peak / 4);
    }

    engine.StopAll();
    ASSERT_TRUE(WaitFor([&] { return !engine.DeviceOpen(); }));
    Settle();
    EXPECT_EQ(window.endNotices, 0);
    EXPECT_EQ(log.Count("close"), 1);
    EXPECT_EQ(log.Count("close refused"), 0);
    EXPECT_EQ(engine.State(), kStateStopped);
    EXPECT_EQ(engine.PlayedPosition(), 0);
    EXPECT_EQ(engine.DecodePosition(), 0);
    EXPECT_EQ(engine.CurrentItem().layer, -1);
}

INSTANTIATE_TEST_SUITE_P(Rates, QueueTargetTest,
                         ::testing::Values(QueueCase{48000, 1152, 125}, QueueCase{44100, 1152, 115},
                                           QueueCase{22050, 576, 115}, QueueCase{32000, 384, 250},
                                           QueueCase{8000, 576, 42}));

// A missing file stays idle; an item without a length, or whose every frame fails
// to decode, is stopped and unloaded at once. None opens a device for good or
// gives an end notice; only the undecodable one is reported as not playable.
TEST_F(EngineTest, ItemsThatCannotPlayStartNothing)
{
    for (const char* name : {"missing", "empty.mp3", "undecodable.mp3"}) {
        FakeTrack t;
        t.frames = name[0] == 'e' ? 0 : 500;
        t.undecodable = name[0] == 'u';
        Engine& engine = MakeEngine();
        int notices = 0;
        engine.SetNotPlayableObserver([&notices](const MediaItem&) { ++notices; });
        std::string path = name[0] == 'm' ? std::string("/nonexistent/x.mp3") : Track(name, t);
        engine.OpenCurrent(path.c_str(), 0);
        engine.PlayCurrent();
        ASSERT_TRUE(WaitFor([&] { return !engine.DeviceOpen(); }));
        Settle();
        EXPECT_EQ(engine.CurrentItem().layer, -1) << name;
        EXPECT_NE(engine.State(), kStatePlaying) << name;
        EXPECT_EQ(window.endNotices, 0) << name;
        EXPECT_EQ(notices, t.undecodable ? 1 : 0) << name;
        if (name[0] == 'm') {
            EXPECT_EQ(engine.CurrentItem().mediaType, MEDIA_NONE);
            EXPECT_EQ(engine.State(), kStateIdle);
            EXPECT_EQ(audio.opened, 0);
        }
    }
}

// A device that plays faster than the decoder feeds it runs dry; the engine then
// holds the device until three seconds are queued again, and no frame is lost.
TEST_F(EngineTest, UnderrunPausesAndResumesAtThreeSeconds)
{
    audio.drainOnWrite = true;
    FakeTrack t;
    t.frames = 400;
    Open("slow.mp3", t);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(window.endNotices, 1);

    std::vector<int> restarts = Restarts(log);
    ASSERT_GE(restarts.size(), 3u);
    for (std::size_t i = 0; i + 1 < restarts.size(); ++i)
        EXPECT_EQ(restarts[i], 115) << "restart " << i;
    // Each underrun is a pause with nothing left at the device.
    auto entries = log.Entries();
    auto started = std::find_if(entries.begin(), entries.end(), [](auto& e) { return e.rfind("restart", 0) == 0; });
    EXPECT_EQ(std::count(started, entries.end(), "pause 0"), static_cast<long>(restarts.size()) - 1);
    EXPECT_EQ(audio.Recording(0), Expected(t, 0, 400));
}

// Opening another item first waits until the old device has closed: the new item
// is opened only after that, and the old one never reports its end. The first
// device is played by hand: on its own clock it could finish the whole item (and
// reset the position) before a busy test thread looked at it.
TEST_F(EngineTest, OpeningAnotherItemWaitsForTheOldDevice)
{
    audio.clock = false;
    FakeTrack a;
    a.frames = 3000;
    FakeTrack b;
    b.frames = 30;
    b.sampleRate = 22050;
    b.channels = 1;
    b.samplesPerFrame = 576;
    Engine& engine = Open("a.mp3", a);
    std::string second = Track("b.mp3", b);
    audio.LastDevice()->PlayBuffers(22);
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard g(lock);
        return engine.PlayedPosition() == 21 * 1152;
    }));

    audio.clock = true;
    engine.OpenCurrent(second.c_str(), 0);
    int reset = log.Find("reset");
    int closed = log.Find("close");
    int opened = log.Find("decoder open " + second);
    ASSERT_GE(reset, 0);
    ASSERT_GT(closed, reset);
    EXPECT_GT(opened, closed);
    EXPECT_EQ(engine.State(), kStateIdle);

    engine.PlayCurrent();
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(window.endNotices, 1);
    EXPECT_EQ(log.Count("close refused"), 0);
    EXPECT_GT(log.Find("open 22050 1"), closed);
    EXPECT_EQ(audio.Recording(1), Expected(b, 0, 30));
}

// A busy device: after two seconds of retries the user is told, the player
// stops and nothing is queued.
TEST_F(EngineTest, BusyDeviceIsReportedAndStops)
{
    audio.refuseFormat = true;
    Engine& engine = Open("busy.mp3", FakeTrack{});
    EXPECT_EQ(engine.State(), kStateStopped);
    EXPECT_GT(audio.queries, 1);
    EXPECT_EQ(audio.opened, 0);
    EXPECT_EQ(engine.QueuedCount(), 0);
    EXPECT_EQ(Messages(),
              std::vector<std::string>{"Lumetra Media Player (tm): Another program is using your sound card.  "
                                       "Please close it and try again."});

    // A quit arriving during the retries ends them at once, with no one left to tell.
    std::thread quit([&] {
        while (audio.queries < 3)
            std::this_thread::yield();
        engine.AbandonDeviceWaits();
    });
    audio.queries = 0;
    engine.PlayCurrent();
    quit.join();
    EXPECT_EQ(engine.State(), kStateStopped);
    EXPECT_LT(audio.queries, 50); // a hundred without the quit
    EXPECT_EQ(Messages().size(), 1u);
}

// A device that takes nothing cannot leave the player waiting for buffers.
TEST_F(EngineTest, RefusedWritesStopThePlayer)
{
    audio.refuseWrites = true;
    Engine& engine = Open("refuse.mp3", FakeTrack{});
    EXPECT_EQ(engine.State(), kStateStopped);
    EXPECT_FALSE(engine.DeviceOpen());
    EXPECT_EQ(Messages(), std::vector<std::string>{"Error: WaveOut Error"});
}

} // namespace
} // namespace lumetra::engine::testing
