#include <gtest/gtest.h>

#include "fake_radio_host.h"

namespace lumetra::radio::testing {
namespace {

// Blocks, buffering and the status they show. What a clean, a lossy and a paused
// station sound like is checked end to end against the real station.

TEST(Reception, NextBlockFlushesIncompleteBlockButLongJumpRealigns)
{
    SessionRig rig;
    rig.Start(0); // first block 8..15
    rig.Audio(8);
    rig.Audio(9);
    rig.Audio(17); // next block: 8..15 is played with six datagrams missing
    EXPECT_EQ(rig.audio.device->queue.size(), 8u);
    EXPECT_EQ(rig.session.Output().LostTotal(), 48);
    rig.Audio(40); // 16 or more past the current base: re-align, nothing played
    EXPECT_EQ(rig.audio.device->queue.size(), 8u);
    EXPECT_EQ(rig.session.Blocks().Current().base, 40u);
    EXPECT_EQ(rig.session.Blocks().Previous().base, 32u);
    rig.Audio(33); // in the previous block now: dropped
    for (uint32_t q = 41; q < 48; ++q)
        rig.Audio(q);
    EXPECT_EQ(rig.audio.device->queue.size(), 16u);
    EXPECT_EQ(rig.session.Output().LostTotal(), 48);
}

TEST(Reception, BufferingCountsSixteenBuffersAtEightKilohertzFortyEightAboveThenRecoversUntilStopped)
{
    for (auto [kind, first] : {std::pair{kKind8000, "Buffering (6%)|sy"}, {kKind22050, "Buffering (2%)|sy"}}) {
        SessionRig rig;
        rig.Start(0, kind);
        rig.Audio(8);
        EXPECT_EQ(rig.Status(), first);
    }
    SessionRig rig;
    rig.Start(0);
    for (uint32_t q = 8; q < 17; ++q)
        rig.Audio(q);
    EXPECT_EQ(rig.Status(), "Buffering (56%)|sy"); // 8 queued + 1
    EXPECT_TRUE(rig.audio.device->paused);
    for (uint32_t q = 17; q < 24; ++q)
        rig.Audio(q);
    EXPECT_FALSE(rig.audio.device->paused);
    rig.Play(1);
    EXPECT_EQ(rig.Status(), "Recovering Transmission|sy");
    rig.Play(1);
    EXPECT_EQ(rig.Status(), "Receiving Transmission|by");
    EXPECT_EQ(rig.session.Output().Queued(), 14);

    // The buffers a stop hands back neither count nor speak.
    int notices = rig.host.notices;
    rig.session.Stop();
    EXPECT_FALSE(rig.host.socketOpen);
    rig.host.RunTasks();
    EXPECT_EQ(rig.host.notices, notices);
    EXPECT_EQ(rig.session.Output().Queued(), 0);
    EXPECT_FALSE(rig.host.idleSound);
}

TEST(Reception, HeavyLossBeforeAnyPercentageIsTransmissionLostLaterLosingAndCloseEndsTheIdleSound)
{
    SessionRig rig;
    rig.Start(0);
    for (uint32_t q = 8; q < 24; ++q)
        rig.Audio(q, 64);
    rig.Play(); // underrun: the buffering-shown flag is cleared
    EXPECT_EQ(rig.Status(), "Transmission Lost|br");
    EXPECT_EQ(rig.host.level, 0);
    ASSERT_FALSE(rig.session.Blocks().Vars().bufferingShown);
    rig.session.Blocks().BlockPlayed(32);
    EXPECT_EQ(rig.Status(), "Transmission Lost|br");
    rig.Audio(24); // shows a percentage
    rig.session.Blocks().BlockPlayed(32);
    EXPECT_EQ(rig.Status(), "Losing Transmission: Approximating lost sound|sr");

    // The underrun started the idle sound at half volume; closing stops it and gives the volume back.
    ASSERT_TRUE(rig.host.idleSound);
    EXPECT_EQ(rig.host.waveVolume, 0x7FFF7FFFu);
    rig.display.active = 1;
    rig.session.Close();
    EXPECT_FALSE(rig.host.idleSound);
    EXPECT_EQ(rig.host.waveVolume, 0xC000C000u);
    EXPECT_EQ(rig.display.active, 0);
    EXPECT_EQ(rig.host.SentOfKind(kKindLogoff).size(), 1u);
    EXPECT_FALSE(rig.host.socketOpen);
}

TEST(Reception, TimerSetsSlowComputerAndSlowLinkTitlesAndRestartsASteadyWindow)
{
    SessionRig rig;
    rig.Start(0);
    rig.Tick(200);
    rig.Tick(12000);
    EXPECT_EQ(rig.Title(), "Radio Lumetra (Test FM) [Slow CPU]");
    // Nothing arrives for 10 s at 8000 Hz: 39 datagrams expected, 0 received.
    rig.host.seconds += 10;
    rig.Tick(200);
    EXPECT_EQ(rig.Title(), "Radio Lumetra (Test FM) [Slow CPU & Link]");

    SessionRig steady;
    steady.Start(0);
    for (uint32_t q = 1; q <= 60; ++q)
        steady.Audio(q);
    steady.host.seconds += 15;
    steady.Tick(200);
    EXPECT_EQ(steady.session.Protocol().State().windowStartSequence, 60u);
    EXPECT_FALSE(steady.session.Blocks().Vars().slowLink);
}

TEST(Reception, ShiftHeldDiscardsAfterDecodingTheFilterMarksBuffersAndPlayedOnesSetTheLevel)
{
    SessionRig rig;
    rig.Start(0);
    rig.host.discard = true;
    for (uint32_t q = 8; q < 16; ++q)
        rig.Audio(q);
    EXPECT_EQ(rig.decoder.calls, 8);
    EXPECT_TRUE(rig.session.Blocks().Current().received == (std::array<uint32_t, 8>{}));

    SessionRig filtered;
    filtered.host.filter = true;
    filtered.Start(0);
    for (uint32_t q = 8; q < 16; ++q)
        filtered.Audio(q, 100);
    filtered.Play(1);
    EXPECT_EQ(filtered.audio.device->users[0], kFilterUserBit);
    // The level is the peak of every 32nd sample over four: |100 - 128| * 256 / 4.
    EXPECT_EQ(filtered.host.level, 28 * 256 / 4);
}

} // namespace
} // namespace lumetra::radio::testing
