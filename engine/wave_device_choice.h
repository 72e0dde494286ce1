#pragma once
// The start-up choice of the wave output device: silent with one device, a
// series of message boxes with several.

#include "platform/audio/wave_out.h"

namespace lumetra::engine {

// Device index, or -1 when there is none or none was chosen (the program then ends).
int ChooseWaveDevice(platform::audio::AudioSystem& audio);

} // namespace lumetra::engine
