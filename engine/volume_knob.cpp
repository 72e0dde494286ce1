#include "engine/volume_knob.h"

#include <algorithm>
#include <cmath>

namespace lumetra::engine {
namespace {

double KnobAngle(int centreX, int centreY, int x, int y)
{
    return std::atan2(static_cast<double>(centreX - x), static_cast<double>(centreY - y)) + 3.1416;
}

} // namespace

KnobDrag BeginKnobDrag(int cursorX, int cursorY, uint32_t volume)
{
    return KnobDrag{cursorX, cursorY, static_cast<int32_t>(volume & 0xFFFF)};
}

int32_t TurnKnob(KnobDrag& drag, int centreX, int centreY, int x, int y, uint32_t currentVolume)
{
    double a = KnobAngle(centreX, centreY, x, y);
    double b = KnobAngle(centreX, centreY, drag.referenceX, drag.referenceY);
    if (std::fabs(a - b) > 3.1415) {
        drag = BeginKnobDrag(x, y, currentVolume);
        b = a;
    }
    int dy = centreY - y;
    int dx = centreX - drag.referenceX;
    int factor = dx <= 0 ? -500 : 500;
    double push = 0;
    if (dy > 30)
        push = static_cast<double>(dy - 30) * factor;
    else if (dy < -30)
        push = static_cast<double>(dy + 30) * factor;
    double volume = drag.referenceVolume + (b - a) * 15000 + push;
    return static_cast<int32_t>(std::clamp(volume, 0.0, 65535.0));
}

} // namespace lumetra::engine
