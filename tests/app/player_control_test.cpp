#include "../engine/engine_fixture.h"
#include "app/player_control.h"
#include "engine/media_type_detection.h"

namespace lumetra::app {
namespace {

using engine::kStatePaused;
using engine::kStatePlaying;
using engine::kStateStopped;
using engine::testing::FakeTrack;

class PlayerControlTest : public engine::testing::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        audio.clock = false;
        m_engine = &MakeEngine();
        m_player = std::make_unique<PlayerControl>(*m_engine);
        for (int i = 0; i < 4; ++i) {
            FakeTrack t;
            t.frames = 400;
            m_rows.push_back(Track("row" + std::to_string(i) + ".mp3", t));
            EXPECT_TRUE(m_player->AddEntry(m_rows.back()));
        }
    }

    void TearDown() override
    {
        m_player.reset();
        EngineTest::TearDown();
    }

    std::string Current() { return m_engine->CurrentItem().path; }

    // Plays buffers until the listener is past the given second.
    void PlayPast(int seconds)
    {
        ASSERT_TRUE(WaitFor([&] {
            audio.LastDevice()->PlayBuffers(1);
            return m_engine->PlayedPosition() > seconds * 44100;
        }));
    }

    engine::Engine* m_engine = nullptr;
    std::unique_ptr<PlayerControl> m_player;
    std::vector<std::string> m_rows;
};

TEST_F(PlayerControlTest, UnplayablePathsAreNotAdded)
{
    EXPECT_FALSE(m_player->AddEntry("/nonexistent/a.mp3"));
    EXPECT_FALSE(m_player->AddEntry(""));
    // Longer than the record holds: refused rather than cut.
    EXPECT_FALSE(m_player->AddEntry(m_rows[0] + std::string(1100, 'x')));
    EXPECT_EQ(m_player->RowCount(), 4);
}

TEST_F(PlayerControlTest, EndOfTheLastRowStopsOrWrapsWithRepeat)
{
    m_player->SelectRow(3);
    m_player->Play();
    EXPECT_EQ(Current(), m_rows[3]);
    m_player->EndOfTrack(0);
    EXPECT_EQ(m_engine->State(), kStateStopped);
    EXPECT_EQ(m_player->Index(), -1);

    m_player->ToggleRepeat();
    m_player->SelectRow(3);
    m_player->Play();
    m_player->EndOfTrack(0);
    EXPECT_EQ(Current(), m_rows[0]);
    EXPECT_EQ(m_player->Index(), 0);
    EXPECT_EQ(m_engine->State(), kStatePlaying);
}

TEST_F(PlayerControlTest, AbortedOrPausedEndsDoNotAdvance)
{
    m_player->SelectRow(1);
    m_player->Play();
    m_player->EndOfTrack(4);
    EXPECT_EQ(Current(), m_rows[1]);
    m_player->Pause();
    EXPECT_EQ(m_engine->State(), kStatePaused);
    m_player->EndOfTrack(0);
    EXPECT_EQ(Current(), m_rows[1]);
    m_player->Play();
    m_player->EndOfTrack(0);
    EXPECT_EQ(Current(), m_rows[2]);
}

TEST_F(PlayerControlTest, PreviousRestartsAfterTwoSecondsElseStepsBack)
{
    m_player->SelectRow(0);
    m_player->Play();
    PlayPast(1);
    m_player->Previous(); // first row, within two seconds: nothing happens
    EXPECT_EQ(Current(), m_rows[0]);
    EXPECT_GT(m_engine->PlayedPosition(), 44100);

    m_player->Next();
    EXPECT_EQ(Current(), m_rows[1]);
    PlayPast(3);
    m_player->Previous(); // restarts the row
    EXPECT_EQ(Current(), m_rows[1]);
    EXPECT_EQ(m_engine->PlayedPosition(), 0);
    m_player->Previous();
    EXPECT_EQ(Current(), m_rows[0]);
}

TEST_F(PlayerControlTest, NextWrapsAndShuffleDrawsTheFixedSequence)
{
    m_player->SelectRow(3);
    m_player->Play();
    m_player->Next();
    EXPECT_EQ(m_player->Index(), 0);

    m_player->ToggleRepeat();
    m_player->ToggleShuffle();
    EXPECT_TRUE(m_player->Shuffle());
    EXPECT_FALSE(m_player->Repeat());
    m_player->ToggleRepeat();
    EXPECT_FALSE(m_player->Shuffle());
    m_player->ToggleRepeat();
    m_player->ToggleShuffle();
    EXPECT_FALSE(m_player->Shuffle() && m_player->Repeat());

    // This thread's generator has not been drawn from: 41, 18467, 6334, 26500, ...
    // modulo 4, skipping draws equal to the current row.
    std::vector<int> rows;
    for (int i = 0; i < 3; ++i) {
        m_player->Next();
        rows.push_back(m_player->Index());
    }
    EXPECT_EQ(rows, (std::vector<int>{1, 3, 2}));
}

TEST_F(PlayerControlTest, StopWhenStoppedTogglesTheTrayFlag)
{
    m_player->Play();
    m_player->Stop();
    EXPECT_EQ(m_engine->State(), kStateStopped);
    m_player->Stop();
    EXPECT_EQ(engine::CdTrayOpenFlag(), 1);
    m_player->Stop();
    EXPECT_EQ(engine::CdTrayOpenFlag(), 0);
}

TEST_F(PlayerControlTest, SeekOpensAtTheByteOffsetOfTheTime)
{
    m_player->SelectRow(2);
    m_player->Play();
    EXPECT_TRUE(m_player->SeekSeconds(5.0));
    // 5 s of a 400-frame item whose frames are 400 bytes: byte 5 x 44100 x 160000 / 460800.
    int32_t target = static_cast<int32_t>(5.0 * 44100 * 160000 / (400 * 1152));
    int32_t frame = (target + 399) / 400;
    EXPECT_EQ(m_engine->PlayedPosition(), frame * 1152);
    EXPECT_EQ(Current(), m_rows[2]);
    EXPECT_EQ(m_engine->State(), kStatePlaying);
    m_player->Stop();
    EXPECT_FALSE(m_player->SeekSeconds(1.0));
}

} // namespace
} // namespace lumetra::app
