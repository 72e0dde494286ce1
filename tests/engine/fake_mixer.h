#pragma once
// Mixer lines for tests: bounds and signedness chosen per line, every value set
// recorded, meter readings given by the test.

#include "engine/mixer_access.h"

#include <array>
#include <mutex>

namespace lumetra::engine::testing {

class FakeMixer final : public MixerAccess {
public:
    struct Line {
        bool present = true;
        LineControls controls;
        int32_t value = -1; // last value written, -1 never
        int writes = 0;
        int32_t meter = 0;
    };

    FakeMixer()
    {
        for (auto& line : lines) {
            line.controls.volume = {0, 65535, false};
            line.controls.meter = {0, 32768, true};
        }
        lines[2].controls.hasMeter = true;
        lines[3].controls.hasMeter = true;
    }

    Line& At(platform::audio::MixerLine line) { return lines[static_cast<std::size_t>(line)]; }

    bool FindLine(platform::audio::MixerLine line, LineControls& controls) override
    {
        std::lock_guard g(m_lock);
        ++finds;
        if (!At(line).present)
            return false;
        controls = At(line).controls;
        return true;
    }
    void SetVolumeValue(platform::audio::MixerLine line, int32_t value) override
    {
        std::lock_guard g(m_lock);
        At(line).value = value;
        ++At(line).writes;
    }
    int32_t ReadMeter(platform::audio::MixerLine line) override
    {
        std::lock_guard g(m_lock);
        return At(line).meter;
    }

    std::array<Line, 4> lines;
    int finds = 0;

private:
    std::mutex m_lock;
};

} // namespace lumetra::engine::testing
