#pragma once
// The engine's view of the mixer lines: find a line's controls, set its volume,
// read its meter. The process uses the platform mixer; tests use their own.

#include "platform/audio/mixer.h"

#include <cstdint>

namespace lumetra::engine {

struct LineControls {
    platform::audio::MixerControl volume;
    bool hasMeter = false;
    platform::audio::MixerControl meter;
};

class MixerAccess {
public:
    virtual ~MixerAccess() = default;
    // False when the mixer or the line cannot be found (try again next time).
    virtual bool FindLine(platform::audio::MixerLine line, LineControls& controls) = 0;
    virtual void SetVolumeValue(platform::audio::MixerLine line, int32_t value) = 0;
    virtual int32_t ReadMeter(platform::audio::MixerLine line) = 0;
};

MixerAccess& DefaultMixerAccess();

} // namespace lumetra::engine
