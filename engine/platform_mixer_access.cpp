#include "engine/mixer_access.h"

namespace lumetra::engine {
namespace {

using platform::audio::MixerLine;
using platform::audio::TheMixer;

class PlatformMixerAccess final : public MixerAccess {
public:
    bool FindLine(MixerLine line, LineControls& controls) override
    {
        auto& mixer = TheMixer();
        controls.volume = mixer.VolumeControl(line);
        controls.hasMeter = mixer.HasMeter(line);
        if (controls.hasMeter)
            controls.meter = mixer.MeterControl(line);
        return true;
    }
    void SetVolumeValue(MixerLine line, int32_t value) override { TheMixer().SetVolumeValue(line, value); }
    int32_t ReadMeter(MixerLine line) override { return TheMixer().ReadMeter(line); }
};

} // namespace

MixerAccess& DefaultMixerAccess()
{
    static PlatformMixerAccess access;
    return access;
}

} // namespace lumetra::engine
