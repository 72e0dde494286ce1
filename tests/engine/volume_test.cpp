#include "engine/output_volume.h"
#include "engine/random_draw.h"
#include "engine/volume_knob.h"
#include "engine/volume_mapping.h"
#include "engine/wave_device_choice.h"
#include "fake_audio.h"
#include "platform/dialogs/message_box.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace lumetra::engine {
namespace {

using platform::audio::MixerLine;

// Mixer lines whose bounds, presence and meter readings the test chooses; every
// value written is kept.
struct FakeMixer final : MixerAccess {
    struct Line {
        bool present = true;
        LineControls controls{{0, 65535, false}, false, {0, 32768, true}};
        int32_t value = -1, meter = 0;
        int writes = 0;
    };
    FakeMixer() { lines[2].controls.hasMeter = lines[3].controls.hasMeter = true; }
    Line& At(MixerLine line) { return lines[static_cast<std::size_t>(line)]; }
    bool FindLine(MixerLine line, LineControls& controls) override
    {
        ++finds;
        if (!At(line).present)
            return false;
        controls = At(line).controls;
        return true;
    }
    void SetVolumeValue(MixerLine line, int32_t value) override { At(line).value = value, ++At(line).writes; }
    int32_t ReadMeter(MixerLine line) override { return At(line).meter; }

    std::array<Line, 4> lines;
    int finds = 0;
};

// A volume v onto a control: minimum + maximum x v / 65535, the minimum added on
// unsigned controls of the master line only; only v's low half counts.
TEST(VolumeMapping, ControlValuesAndMeterLevels)
{
    const struct {
        MixerControl control;
        MixerLine line;
        uint32_t volume;
        int32_t expected;
    } controls[] = {
        {{0, 65535, false}, MixerLine::Wave, kInitialVolume, 32767},
        {{0, 65535, false}, MixerLine::Master, 0xFFFF, 65535},
        {{0, 65535, false}, MixerLine::Cd, 0, 0},
        {{0, 65535, false}, MixerLine::Midi, 0x00001234, 0x1234},
        {{0, 65535, false}, MixerLine::Midi, 0x12340000, 0},
        {{100, 1000, false}, MixerLine::Master, 65535, 1100},
        {{100, 1000, false}, MixerLine::Wave, 65535, 1000},
        {{100, 1000, false}, MixerLine::Cd, 32767, 499},
        // Signed: truncated toward zero.
        {{-10000, 0, true}, MixerLine::Wave, 65535, -10000},
        {{-10000, 2000, true}, MixerLine::Cd, 32768, -10000 + 1000},
        {{-6400, 6400, true}, MixerLine::Master, 1, -6400},
        {{-6400, 6400, true}, MixerLine::Midi, 65535, 0},
    };
    for (const auto& c : controls) {
        EXPECT_EQ(VolumeToControlValue(c.control, c.line, c.volume), c.expected)
            << c.control.minimum << ".." << c.control.maximum << " line " << static_cast<int>(c.line) << " "
            << c.volume;
    }

    // A silent wave line drops at once; the MIDI line falls off by 90..94 percent.
    const struct {
        int32_t reading;
        bool isSigned;
        MixerLine line;
        int32_t previous;
        int draw;
        int32_t expected;
    } meters[] = {
        {32767, true, MixerLine::Wave, 0, 0, 8191}, {-32768, true, MixerLine::Wave, 0, 0, 8192},
        {-7, true, MixerLine::Midi, 0, 0, 1},       {65535, false, MixerLine::Wave, 0, 0, 16383},
        {0, true, MixerLine::Wave, 5000, 3, 0},     {0, true, MixerLine::Midi, 5000, 0, 4500},
        {0, true, MixerLine::Midi, 5000, 4, 4700},  {0, true, MixerLine::Midi, 5000, 32767, 4600},
        {0, true, MixerLine::Midi, 0, 4, 0},        {400, true, MixerLine::Midi, 5000, 4, 100},
    };
    for (const auto& c : meters) {
        EXPECT_EQ(LevelFromMeter(c.reading, c.isSigned, c.line, c.previous, c.draw), c.expected)
            << c.reading << " line " << static_cast<int>(c.line) << " from " << c.previous << " draw " << c.draw;
    }
}

TEST(RandomDraws, FollowTheUnseededGenerator)
{
    RandomGenerator g;
    // state 1 -> 2745024 -> ...; draws are bits 16..30.
    EXPECT_EQ(g.Draw(), 41);
    EXPECT_EQ(g.Draw(), 18467);
    EXPECT_EQ(g.Draw(), 6334);
}

// Mute and unmute restore all four lines, each looked up once; a missing line
// leaves the others working and is looked up again; a level output reads the
// meter instead of setting the volume.
TEST(OutputVolume, MuteMissingLinesAndLevels)
{
    FakeMixer mixer;
    mixer.At(MixerLine::Cd).controls.volume = {-10000, 0, true};
    mixer.At(MixerLine::Master).present = false;
    OutputVolume volume(mixer);
    volume.Apply();
    EXPECT_EQ(mixer.At(MixerLine::Master).writes, 0);
    EXPECT_EQ(mixer.At(MixerLine::Midi).value, 32767);
    EXPECT_EQ(mixer.At(MixerLine::Wave).value, 32767);
    EXPECT_EQ(mixer.At(MixerLine::Cd).value, -10000);
    mixer.At(MixerLine::Master).present = true;
    volume.SetStoredVolume(50000);
    EXPECT_EQ(volume.Volume(), (50000u << 16) | 50000u);
    volume.SetMuted(true);
    volume.Apply();
    for (auto line : {MixerLine::Master, MixerLine::Midi, MixerLine::Wave})
        EXPECT_EQ(mixer.At(line).value, 0);
    volume.SetMuted(false);
    volume.Apply();
    for (auto line : {MixerLine::Master, MixerLine::Midi, MixerLine::Wave})
        EXPECT_EQ(mixer.At(line).value, 50000);
    EXPECT_EQ(mixer.finds, 5);

    mixer.At(MixerLine::Wave).meter = -20000;
    int32_t level = 0;
    volume.SetWaveVolume(12345, &level);
    EXPECT_EQ(level, 5000);
    EXPECT_EQ(mixer.At(MixerLine::Wave).writes, 3);
    level = 1000;
    volume.SetMidiVolume(12345, &level); // a silent MIDI line falls off by 90..94 percent
    EXPECT_GE(level, 900);
    EXPECT_LE(level, 940);
}

// The knob: the angle turned times 15000, plus a push for the cursor far above or
// below the centre, clamped to 0..65535.
TEST(VolumeKnob, AngleAndPush)
{
    KnobDrag drag = BeginKnobDrag(100, 80, 30000); // straight above a centre at (100, 100)
    EXPECT_EQ(TurnKnob(drag, 100, 100, 100, 80, 30000), 30000);
    // A quarter turn clockwise (to the right of the centre).
    double a = std::atan2(100.0 - 120, 0.0) + 3.1416;
    double b = std::atan2(0.0, 20.0) + 3.1416;
    EXPECT_EQ(TurnKnob(drag, 100, 100, 120, 100, 30000), static_cast<int32_t>(30000 + (b - a) * 15000));
    // Far above the centre: dy = 50 pushes by (50 - 30) x 500, reference x = centre x -> factor -500.
    drag = BeginKnobDrag(100, 50, 30000);
    EXPECT_EQ(TurnKnob(drag, 100, 100, 100, 50, 30000), 30000 - 20 * 500);
    // Reference to the left of the centre (dx > 0): the push adds.
    drag = BeginKnobDrag(90, 50, 30000);
    EXPECT_EQ(TurnKnob(drag, 100, 100, 90, 50, 30000), 30000 + 20 * 500);
    // Clamped at both ends.
    drag = BeginKnobDrag(90, 50, 65000);
    EXPECT_EQ(TurnKnob(drag, 100, 100, 90, -200, 65000), 65535);
    drag = BeginKnobDrag(100, 50, 100);
    EXPECT_EQ(TurnKnob(drag, 100, 100, 100, -200, 100), 0);
}

TEST(VolumeKnob, CrossingTheCutTakesANewReference)
{
    // Just left and just right of straight below the centre differ by almost 2 pi.
    KnobDrag drag = BeginKnobDrag(99, 120, 20000);
    int32_t v = TurnKnob(drag, 100, 100, 101, 120, 25000);
    EXPECT_EQ(drag.referenceX, 101);
    EXPECT_EQ(drag.referenceY, 120);
    EXPECT_EQ(drag.referenceVolume, 25000);
    EXPECT_EQ(v, 25000);
}

struct ChoiceCase {
    const char* name;
    std::vector<uint32_t> formats; // one per device
    std::vector<platform::MessageAnswer> answers;
    int expected;
    std::vector<std::string> boxes; // "caption|buttons"
};

class DeviceChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(DeviceChoiceTest, AsksThroughMessageBoxes)
{
    const auto& c = GetParam();
    testing::EventLog log;
    testing::FakeAudio audio(log);
    audio.devices.clear();
    for (std::size_t i = 0; i < c.formats.size(); ++i)
        audio.devices.push_back(platform::audio::DeviceCaps{"Dev" + std::to_string(i), 1, 2, 3, c.formats[i], 2});
    std::vector<std::string> boxes;
    std::vector<std::string> texts;
    std::size_t next = 0;
    platform::SetMessageBoxPresenter([&](const platform::MessageBoxRequest& r) {
        boxes.push_back(r.caption + (r.buttons == platform::MessageButtons::YesNo ? "|yesno" : "|ok"));
        texts.push_back(r.text);
        return next < c.answers.size() ? c.answers[next++] : platform::kAnswerOk;
    });
    EXPECT_EQ(ChooseWaveDevice(audio), c.expected);
    platform::SetMessageBoxPresenter(nullptr);
    EXPECT_EQ(boxes, c.boxes);
    if (c.formats.size() == 2 && c.formats[0] == 0 && c.formats[1] == 0x10) {
        EXPECT_EQ(texts[0], "Device ID:0\nDev0\nMID:1\tPID:2\nVersion:3\nFormat:0\nChannels:2\n"
                            "\nThis device doesn't support 22kHz 8-bit mono.\nClick OK for next device.");
        EXPECT_EQ(texts[1], "Device ID:1\nDev1\nMID:1\tPID:2\nVersion:3\nFormat:16\nChannels:2\n"
                            "\nThis is the last device,\nClick YES to select this device.\nClick NO to quit.");
    }
}

using platform::kAnswerNo;
using platform::kAnswerOk;
using platform::kAnswerYes;

INSTANTIATE_TEST_SUITE_P(
    Devices, DeviceChoiceTest,
    ::testing::Values(ChoiceCase{"none", {}, {}, -1, {"Error|ok"}}, ChoiceCase{"one_is_silent", {0}, {}, 0, {}},
                      ChoiceCase{"second_supports",
                                 {0, 0x10},
                                 {kAnswerOk, kAnswerYes},
                                 1,
                                 {"Wave Device Information|ok", "Wave Device Information|yesno"}},
                      ChoiceCase{
                          "first_accepted", {0x10, 0x10, 0x10}, {kAnswerYes}, 0, {"Wave Device Information|yesno"}},
                      ChoiceCase{"all_declined",
                                 {0x10, 0x10},
                                 {kAnswerNo, kAnswerNo},
                                 -1,
                                 {"Wave Device Information|yesno", "Wave Device Information|yesno", "Error|ok"}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace lumetra::engine
