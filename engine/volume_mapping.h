#pragma once
// Arithmetic of the volume controls: the stored 0..65535 volume onto a mixer
// control's units, and a meter reading onto the 0..8192 level.

#include "platform/audio/mixer.h"

#include <cstdint>

namespace lumetra::engine {

using platform::audio::MixerControl;
using platform::audio::MixerLine;

inline constexpr uint32_t kInitialVolume = 0x7FFF7FFF;

// Low 16 bits of volume onto the control. The maximum, not the range, scales it;
// only the master line adds the minimum to an unsigned control.
int32_t VolumeToControlValue(const MixerControl& control, MixerLine line, uint32_t volume);

// Level from a meter reading. The MIDI line falls off gradually: a zero reading
// after a non-zero level keeps previous x (90 + r) / 100, r = randomDraw % 5.
int32_t LevelFromMeter(int32_t reading, bool isSigned, MixerLine line, int32_t previousLevel, int randomDraw);

} // namespace lumetra::engine
