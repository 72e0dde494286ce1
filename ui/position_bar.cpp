#include "ui/position_bar.h"

#include <algorithm>
#include <cstdio>

namespace lumetra::ui {

int ThumbX(int64_t position, int64_t total)
{
    if (total <= 0)
        return 0;
    return static_cast<int>(std::clamp<int64_t>(kThumbTravel * position / total, 0, kThumbTravel));
}

int GrabOffset(int barX, int thumbX)
{
    int inside = barX - thumbX;
    return inside >= 0 && inside < kThumbWidth ? inside : kDefaultGrab;
}

DragTarget DragTo(int barX, int grab, int skip, int64_t total, int32_t sampleRate)
{
    DragTarget t{};
    int x = std::clamp(barX - grab, 0, kThumbTravel);
    x = static_cast<int>(std::clamp<int64_t>(x + int64_t{skip} * kThumbTravel / kSkipScale, 0, kThumbTravel));
    t.thumbX = x;
    if (total <= 0 || sampleRate <= 0)
        return t;
    int64_t samples = int64_t{x} * total / kThumbTravel + int64_t{skip} * total / kSkipScale;
    t.samples = std::clamp<int64_t>(samples, 0, total);
    t.totalSeconds = total / sampleRate;
    t.seconds = std::min(t.samples / sampleRate, t.totalSeconds);
    t.percent = static_cast<int>(t.samples * 100 / total);
    return t;
}

std::string SeekReadout(const DragTarget& t)
{
    char text[96];
    std::snprintf(text, sizeof text, "seek to: %lld:%02d of %lld:%02d <%d%%>", static_cast<long long>(t.seconds / 60),
                  static_cast<int>(t.seconds % 60), static_cast<long long>(t.totalSeconds / 60),
                  static_cast<int>(t.totalSeconds % 60), t.percent);
    return text;
}

int64_t SeekTarget(int barX, int margin, int skip, int64_t fileSize)
{
    if (fileSize <= 0)
        return 0;
    int64_t target = int64_t{barX - margin} * fileSize / (kBarWidth - kThumbWidth);
    target = std::clamp<int64_t>(target, 0, fileSize);
    target += fileSize * skip / kSkipScale;
    return std::clamp<int64_t>(target, 0, fileSize);
}

int SkipStep(int32_t sampleRate, int64_t total)
{
    if (total <= 0)
        return 0;
    return static_cast<int>(int64_t{sampleRate} * kSkipScale / total);
}

} // namespace lumetra::ui
