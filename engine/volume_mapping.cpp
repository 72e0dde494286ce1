#include "engine/volume_mapping.h"

#include <cstdlib>

namespace lumetra::engine {

int32_t VolumeToControlValue(const MixerControl& control, MixerLine line, uint32_t volume)
{
    int64_t v = volume & 0xFFFF;
    int64_t scaled = static_cast<int64_t>(control.maximum) * v / 65535; // truncates toward zero
    if (control.isSigned || line == MixerLine::Master)
        return static_cast<int32_t>(control.minimum + scaled);
    return static_cast<int32_t>(scaled);
}

int32_t LevelFromMeter(int32_t reading, bool isSigned, MixerLine line, int32_t previousLevel, int randomDraw)
{
    if (line == MixerLine::Midi && previousLevel != 0 && reading == 0)
        return previousLevel * (90 + randomDraw % 5) / 100;
    if (isSigned)
        return static_cast<int32_t>(std::llabs(static_cast<int64_t>(reading)) / 4);
    return static_cast<int32_t>(static_cast<uint32_t>(reading) >> 2);
}

} // namespace lumetra::engine
