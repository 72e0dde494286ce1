#include <gtest/gtest.h>

#include "fake_radio_host.h"

namespace lumetra::radio::testing {
namespace {

// The piece of datagram tag's frame that should sit in sub-block k of a block.
uint8_t Expected(uint8_t tagOfDatagram, int k)
{
    return uint8_t(tagOfDatagram + k / 8);
}

TEST(Reception, BlockStartsAtNextBoundaryAndInterleavesPieces)
{
    SessionRig rig;
    rig.Start(13);
    for (uint32_t q = 13; q < 16; ++q)
        rig.Audio(q, 200); // inside the skipped block: dropped
    EXPECT_EQ(rig.audio.device->queue.size(), 0u);
    for (uint32_t q = 16; q < 24; ++q)
        rig.Audio(q, uint8_t(10 * (q - 16)));
    ASSERT_EQ(rig.audio.device->queue.size(), 8u);
    rig.audio.device->Play();
    const auto& played = rig.audio.device->played;
    ASSERT_EQ(played.size(), size_t(kBlockSamples));
    for (int k = 0; k < kSubBlocksPerBlock; ++k) {
        uint8_t want = Expected(uint8_t(10 * (k % 8)), k);
        EXPECT_EQ(played[size_t(k * 256)], want) << "sub-block " << k;
        EXPECT_EQ(played[size_t(k * 256 + 255)], want) << "sub-block " << k;
    }
    for (intptr_t user : rig.audio.device->users)
        EXPECT_EQ(user, 0);
}

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

TEST(Reception, MissingDatagramThreeLeavesEightHolesAndLosingStatus)
{
    SessionRig rig;
    rig.Start(0);
    for (uint32_t q = 8; q < 16; ++q)
        if (q != 11)
            rig.Audio(q, uint8_t(10 * (q - 8)));
    ASSERT_EQ(rig.audio.device->queue.size(), 8u);
    for (uint32_t q = 16; q < 24; ++q)
        rig.Audio(q, 100);
    rig.Play(1);
    EXPECT_EQ(rig.audio.device->users[0], 8);
    EXPECT_EQ(rig.host.Status(), "Losing Transmission: Approximating lost sound|sr");
    EXPECT_EQ(rig.session.Output().LostTotal(), 8);
}

TEST(Reception, BufferingPercentCountsSixteenBuffersAtEightKilohertzFortyEightAbove)
{
    for (auto [kind, first] : {std::pair{kKind8000, "Buffering (6%)|sy"}, {kKind22050, "Buffering (2%)|sy"}}) {
        SessionRig rig;
        rig.Start(0, kind);
        rig.Audio(8);
        EXPECT_EQ(rig.host.Status(), first);
    }
    SessionRig rig;
    rig.Start(0);
    for (uint32_t q = 8; q < 17; ++q)
        rig.Audio(q);
    EXPECT_EQ(rig.host.Status(), "Buffering (56%)|sy"); // 8 queued + 1
}

TEST(Reception, DeviceStartsAtThresholdAndFirstBufferSaysRecovering)
{
    SessionRig rig;
    rig.Start(0);
    for (uint32_t q = 8; q < 16; ++q)
        rig.Audio(q);
    EXPECT_TRUE(rig.audio.device->paused);
    for (uint32_t q = 16; q < 24; ++q)
        rig.Audio(q);
    EXPECT_FALSE(rig.audio.device->paused);
    EXPECT_EQ(rig.session.Blocks().Vars().state, ReceptionState::Recovering);
    rig.Play(1);
    EXPECT_EQ(rig.host.Status(), "Recovering Transmission|sy");
    rig.Play(1);
    EXPECT_EQ(rig.host.Status(), "Receiving Transmission|by");
    EXPECT_EQ(rig.session.Blocks().Vars().state, ReceptionState::Receiving);
    EXPECT_EQ(rig.session.Output().Queued(), 14);
}

TEST(Reception, UnderrunLoopsIdleSoundAtHalfVolumeUntilSixteenQueued)
{
    SessionRig rig;
    rig.Start(0);
    for (uint32_t q = 8; q < 24; ++q)
        rig.Audio(q, 64);
    rig.Play();
    EXPECT_EQ(rig.host.Status(), "Transmission Lost|br");
    EXPECT_EQ(rig.session.Blocks().Vars().state, ReceptionState::Lost);
    EXPECT_TRUE(rig.audio.device->paused);
    EXPECT_TRUE(rig.host.idleSound);
    EXPECT_EQ(rig.host.waveVolume, 0x7FFF7FFFu);
    EXPECT_EQ(rig.host.level, 0);

    // Lost clock: every tick while nothing is buffered.
    rig.host.seconds += 90;
    rig.Tick(200);
    EXPECT_EQ(rig.host.Status(), "Transmission Lost (1:30)|sr");

    for (uint32_t q = 24; q < 32; ++q)
        rig.Audio(q);
    EXPECT_EQ(rig.host.Status(), "Buffering (50%)|sy"); // shown before the block is queued
    EXPECT_TRUE(rig.host.idleSound);
    for (uint32_t q = 32; q < 40; ++q)
        rig.Audio(q);
    EXPECT_FALSE(rig.host.idleSound);
    EXPECT_EQ(rig.host.waveVolume, 0xC000C000u);
    EXPECT_FALSE(rig.audio.device->paused);
    rig.Play(1);
    EXPECT_EQ(rig.host.Status(), "Recovering Transmission|sy");
}

TEST(Reception, HeavyLossBeforeAnyPercentageIsTransmissionLostLaterLosing)
{
    SessionRig rig;
    rig.Start(0);
    for (uint32_t q = 8; q < 24; ++q)
        rig.Audio(q);
    rig.Play(); // underrun: the buffering-shown flag is cleared
    ASSERT_FALSE(rig.session.Blocks().Vars().bufferingShown);
    rig.session.Blocks().BlockPlayed(32);
    EXPECT_EQ(rig.host.Status(), "Transmission Lost|br");
    rig.Audio(24); // shows a percentage
    rig.session.Blocks().BlockPlayed(32);
    EXPECT_EQ(rig.host.Status(), "Losing Transmission: Approximating lost sound|sr");
}

TEST(Reception, TimerSetsSlowComputerAndSlowLinkTitles)
{
    SessionRig rig;
    rig.Start(0);
    rig.Tick(200);
    rig.Tick(12000);
    EXPECT_EQ(rig.host.titles.back(), "Radio Lumetra (Test FM) [Slow CPU]");
    // Nothing arrives for 10 s at 8000 Hz: 39 datagrams expected, 0 received.
    rig.host.seconds += 10;
    rig.Tick(200);
    EXPECT_EQ(rig.host.titles.back(), "Radio Lumetra (Test FM) [Slow CPU & Link]");
    EXPECT_TRUE(rig.session.Blocks().Vars().slowLink);
}

TEST(Reception, SteadyLinkRestartsItsMeasurementWindow)
{
    SessionRig rig;
    rig.Start(0);
    for (uint32_t q = 1; q <= 60; ++q)
        rig.Audio(q);
    rig.host.seconds += 15;
    rig.Tick(200);
    EXPECT_EQ(rig.session.Protocol().State().windowStartSequence, 60u);
    EXPECT_FALSE(rig.session.Blocks().Vars().slowLink);
}

TEST(Reception, ShiftHeldDiscardsAfterDecoding)
{
    SessionRig rig;
    rig.Start(0);
    rig.host.discard = true;
    for (uint32_t q = 8; q < 16; ++q)
        rig.Audio(q);
    EXPECT_EQ(rig.decoder.calls, 8);
    EXPECT_TRUE(rig.session.Blocks().Current().received == (std::array<uint32_t, 8>{}));
}

TEST(Reception, FilterSettingMarksBuffers)
{
    SessionRig rig;
    rig.host.filter = true;
    rig.Start(0);
    for (uint32_t q = 8; q < 16; ++q)
        rig.Audio(q);
    rig.Play(1);
    EXPECT_EQ(rig.audio.device->users[0], kFilterUserBit);
}

TEST(Reception, LevelIsPeakOfEveryThirtySecondSampleOverFour)
{
    SessionRig rig;
    rig.Start(0);
    for (uint32_t q = 8; q < 16; ++q)
        rig.Audio(q, 100); // pieces 100..107: the first buffer holds 100..107 -> peak |100-128| = 28
    rig.Play(1);
    EXPECT_EQ(rig.host.level, 28 * 256 / 4);
    EXPECT_GE(rig.host.levelNotices, 1);
}

TEST(Reception, BuffersReturnedByStopDoNotCountOrSpeak)
{
    SessionRig rig;
    rig.Start(0);
    for (uint32_t q = 8; q < 24; ++q)
        rig.Audio(q);
    size_t statuses = rig.host.statuses.size();
    rig.session.Stop();
    rig.host.RunTasks();
    EXPECT_EQ(rig.host.statuses.size(), statuses);
    EXPECT_EQ(rig.session.Output().Queued(), 0);
    EXPECT_FALSE(rig.host.idleSound);
}

TEST(Reception, CloseStopsIdleSoundAndRestoresVolume)
{
    SessionRig rig;
    rig.display.active = 1;
    rig.Start(0);
    for (uint32_t q = 8; q < 24; ++q)
        rig.Audio(q);
    rig.Play();
    ASSERT_TRUE(rig.host.idleSound);
    rig.session.Close();
    EXPECT_FALSE(rig.host.idleSound);
    EXPECT_EQ(rig.host.waveVolume, 0xC000C000u);
    EXPECT_EQ(rig.display.active, 0);
    EXPECT_EQ(rig.host.SentOfKind(kKindLogoff).size(), 1u);
    EXPECT_FALSE(rig.host.socketOpen);
}

TEST(Reception, DeviceAtOutputRateStretchesEachShare)
{
    SessionRig rig;
    rig.audio.refusedRates = {8000};
    rig.Start(0);
    for (uint32_t q = 8; q < 16; ++q)
        rig.Audio(q, 10);
    ASSERT_EQ(rig.audio.device->queue.size(), 8u);
    EXPECT_EQ(rig.audio.device->queue[0]->bufferLength, 11025u * 2048 / 8000);
}

} // namespace
} // namespace lumetra::radio::testing
