#pragma once
// Standard MIDI files (and RIFF RMID wrappers) checked and timed before they are
// played: the tracks must lie inside the bytes, every event inside its track.
// Pure parsing, no I/O.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lumetra::platform::media {

struct TempoChange {
    int64_t tick;
    int64_t microsPerQuarter;
};

struct MidiTiming {
    bool ok = false;
    std::string error;              // why the bytes are not a playable MIDI file
    std::span<const uint8_t> smf;   // the standard MIDI file inside the bytes
    int32_t division = 0;           // ticks per quarter note, or negative SMPTE
    int64_t lastTick = 0;           // of the latest event of any track
    std::vector<TempoChange> tempo; // in tick order, the first at tick 0

    int64_t TickToMs(int64_t tick) const;
    int64_t MsToTick(int64_t ms) const;
    int64_t LengthMs() const { return TickToMs(lastTick); }
};

MidiTiming ScanMidi(std::span<const uint8_t> bytes);

} // namespace lumetra::platform::media
