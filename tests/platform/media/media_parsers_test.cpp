// MIDI timing and CUE sheets: what is accepted, how long it lasts, and the reason
// given for what is refused.
#include "platform/media/cue_sheet.h"
#include "platform/media/midi_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumetra::platform::media {
namespace {

std::vector<uint8_t> Bytes(const std::string& s)
{
    return {s.begin(), s.end()};
}

// Format 0, 96 ticks per quarter: tempo 0.4 s per quarter, a note of 192 ticks,
// then (optionally) the tempo halves and 96 more ticks pass before the end.
std::vector<uint8_t> Midi(bool tempoChange)
{
    std::string track = std::string("\x00\xff\x51\x03\x06\x1a\x80", 7) + std::string("\x00\x90\x3c\x64", 4) +
                        std::string("\x81\x40\x80\x3c\x40", 5);
    if (tempoChange)
        track += std::string("\x00\xff\x51\x03\x03\x0d\x40", 7);
    track += std::string("\x60\xff\x2f\x00", 4);
    std::string len = {0, 0, 0, static_cast<char>(track.size())};
    return Bytes(std::string("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14) + "MTrk" + len + track);
}

TEST(MidiTiming, LengthFollowsTheTempoMap)
{
    MidiTiming plain = ScanMidi(Midi(false));
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_EQ(plain.lastTick, 288);
    EXPECT_EQ(plain.LengthMs(), 1200); // three quarters of 0.4 s
    MidiTiming changed = ScanMidi(Midi(true));
    ASSERT_TRUE(changed.ok);
    EXPECT_EQ(changed.LengthMs(), 1000); // two at 0.4 s, one at 0.2 s
    EXPECT_EQ(changed.MsToTick(900), 240);
    EXPECT_EQ(changed.TickToMs(changed.MsToTick(500)), 500);

    // The same file in a RIFF RMID wrapper.
    std::vector<uint8_t> smf = Midi(false);
    std::string size = {static_cast<char>(smf.size()), 0, 0, 0};
    std::string riffSize = {static_cast<char>(smf.size() + 12), 0, 0, 0};
    std::vector<uint8_t> rmid = Bytes("RIFF" + riffSize + "RMIDdata" + size);
    rmid.insert(rmid.end(), smf.begin(), smf.end());
    MidiTiming wrapped = ScanMidi(rmid);
    ASSERT_TRUE(wrapped.ok) << wrapped.error;
    EXPECT_EQ(wrapped.LengthMs(), 1200);
}

TEST(MidiTiming, DamagedFilesAreRefusedWithAReason)
{
    std::vector<uint8_t> good = Midi(false);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    std::vector<uint8_t> cut(good.begin(), good.end() - 3);
    std::vector<uint8_t> inside = good;
    inside[21] = static_cast<uint8_t>(good[21] - 3); // track length ends inside the tempo event
    std::vector<Case> cases = {
        {"cut short", cut, "truncated"},
        {"event past its track", inside, "ends inside an event"},
        {"not MIDI", Bytes("RIFFxxxxWAVEfmt "), "not a standard MIDI file"},
        {"empty", {}, "not a standard MIDI file"},
    };
    for (const Case& c : cases) {
        MidiTiming t = ScanMidi(c.bytes);
        EXPECT_FALSE(t.ok) << c.name;
        EXPECT_NE(t.error.find(c.reason), std::string::npos) << c.name << ": " << t.error;
    }
}

TEST(CueSheet, TracksFilesAndMistakes)
{
    CueSheet sheet = ParseCueSheet(Bytes("REM made by hand\r\nFILE \"my disc.bin\" BINARY\r\n"
                                         "  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n"
                                         "  TRACK 02 AUDIO\r\n    PREGAP 00:02:00\r\n    INDEX 01 00:03:10\r\n"));
    ASSERT_TRUE(sheet.ok) << sheet.error;
    ASSERT_EQ(sheet.files.size(), 1u);
    EXPECT_EQ(sheet.files[0], "my disc.bin");
    ASSERT_EQ(sheet.tracks.size(), 2u);
    EXPECT_FALSE(sheet.tracks[0].audio);
    EXPECT_TRUE(sheet.tracks[1].audio);
    EXPECT_EQ(sheet.tracks[1].startSector, 3 * 75 + 10);

    struct Case {
        const char* text;
        const char* reason;
    };
    for (const Case& c : std::vector<Case>{
             {"TRACK 01 AUDIO\nINDEX 01 00:00:00\n", "TRACK before any FILE"},
             {"FILE a.bin BINARY\nTRACK 01 AUDIO\n", "no INDEX 01"},
             {"FILE a.bin BINARY\nTRACK 01 VIDEO\nINDEX 01 00:00:00\n", "unknown track mode"},
             {"FILE a.bin BINARY\nTRACK 02 AUDIO\nINDEX 01 0:0:0\nTRACK 01 AUDIO\n", "must rise"},
             {"FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:61:00\n", "bad INDEX time"},
             {"", "names no tracks"},
         }) {
        CueSheet bad = ParseCueSheet(Bytes(c.text));
        EXPECT_FALSE(bad.ok) << c.text;
        EXPECT_NE(bad.error.find(c.reason), std::string::npos) << c.text << " -> " << bad.error;
    }
}

} // namespace
} // namespace lumetra::platform::media
