#pragma once
// The four mixer lines (master, CD, MIDI, wave) as software gains applied on each
// source's path, with peak meters on the MIDI and wave lines.
//
// Volume controls: unsigned, 0..65535, linear amplitude (65535 = unity). A device
// opened on a line scales its samples by Gain(line) = line / 65535 x master / 65535;
// at 65535 on both, samples pass bit-exact.
//
// Meters (MIDI and wave): signed, -32768..32767, the peak |sample| of what the
// line's devices output (after gain) on a 16-bit scale; 8-bit samples count as
// (x - 128) x 256. A reading is the peak since the previous reading (0 when the line
// has been silent for more than 600 ms), so |reading| / 4 is a level 0..8191.
//
// All members are safe to call from any thread.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace lumetra::platform::audio {

enum class MixerLine { Master, Cd, Midi, Wave };

struct MixerControl {
    int32_t minimum = 0;
    int32_t maximum = 65535;
    bool isSigned = false; // units other than unsigned
};

class Mixer {
public:
    Mixer();

    // Bounds of the line's volume control and its meter (MIDI and wave only).
    MixerControl VolumeControl(MixerLine line) const;
    MixerControl MeterControl(MixerLine line) const;
    bool HasMeter(MixerLine line) const;

    void SetVolumeValue(MixerLine line, int32_t value); // control units, clamped
    int32_t VolumeValue(MixerLine line) const;
    // Linear gain applied to samples of this line (its control times master's).
    float Gain(MixerLine line) const;
    // The same gain in 1/65536 steps (65536 = unity), as applied to samples.
    uint32_t GainQ16(MixerLine line) const;

    // Meter reading in control units; the sources feed it with their output.
    // Devices opened on a line feed it themselves.
    int32_t ReadMeter(MixerLine line) const;
    void FeedMeter(MixerLine line, const int16_t* samples, int count);
    void FeedMeter8(MixerLine line, const uint8_t* samples, int count);

    // Scales PCM bytes in place by the line's gain (8-bit unsigned or 16-bit signed
    // little-endian) and feeds the line's meter with the result.
    void Apply(MixerLine line, uint8_t* data, size_t bytes, int bitsPerSample);
    // The same at a gain read before (GainQ16).
    void Apply(MixerLine line, uint8_t* data, size_t bytes, int bitsPerSample, uint32_t gainQ16);

private:
    static constexpr int kLines = 4;
    std::array<std::atomic<int32_t>, kLines> m_volume;
    mutable std::array<std::atomic<int32_t>, kLines> m_peak;
    std::array<std::atomic<int64_t>, kLines> m_lastFeedMs;
};

// Scales samples by gainQ16 (65536 = unity, copies unchanged; never above it): 8-bit unsigned or
// 16-bit signed little-endian. Returns the peak |sample| on a 16-bit scale.
int32_t ScaleSamples(uint8_t* data, size_t bytes, int bitsPerSample, uint32_t gainQ16);

Mixer& TheMixer();

} // namespace lumetra::platform::audio
