#pragma once
// The four mixer lines (master, CD, MIDI, wave) as software gains applied on each
// source's path, with peak meters on the MIDI and wave lines.

#include <cstdint>

namespace lumetra::platform::audio {

enum class MixerLine { Master, Cd, Midi, Wave };

struct MixerControl {
    int32_t minimum = 0;
    int32_t maximum = 65535;
    bool isSigned = false;   // units other than unsigned
};

class Mixer {
public:
    // Bounds of the line's volume control and its meter (MIDI and wave only).
    MixerControl VolumeControl(MixerLine line) const;
    MixerControl MeterControl(MixerLine line) const;
    bool HasMeter(MixerLine line) const;

    void SetVolumeValue(MixerLine line, int32_t value);  // control units
    int32_t VolumeValue(MixerLine line) const;
    // Linear gain applied to samples of this line (its control times master's).
    float Gain(MixerLine line) const;

    // Meter reading in control units; the sources feed it with their output.
    int32_t ReadMeter(MixerLine line) const;
    void FeedMeter(MixerLine line, const int16_t* samples, int count);
    void FeedMeter8(MixerLine line, const uint8_t* samples, int count);
};

Mixer& TheMixer();

} // namespace lumetra::platform::audio
