#pragma once
// The position bar's arithmetic: the thumb on its 133-pixel travel, the drag
// target and its read-out, and the byte target the seek opens at. No Qt.

#include <cstdint>
#include <string>

namespace lumetra::ui {

inline constexpr int kBarWidth = 169;
inline constexpr int kThumbWidth = 36;
inline constexpr int kThumbTravel = kBarWidth - kThumbWidth; // 133
inline constexpr int kDefaultGrab = kThumbWidth / 2;
// Steps of the pending skip and of the bar: hundred-thousandths of the track.
inline constexpr int kSkipScale = 100000;

// The thumb's x for position of total (0..133); 0 without a length.
int ThumbX(int64_t position, int64_t total);

// The grab offset for a drag starting at barX inside the bar with the thumb at thumbX.
int GrabOffset(int barX, int thumbX);

struct DragTarget {
    int thumbX;
    int64_t samples;
    int64_t seconds;
    int64_t totalSeconds;
    int percent;
};

// The thumb and target while dragging, barX being the cursor's x inside the bar.
DragTarget DragTo(int barX, int grab, int skip, int64_t total, int32_t sampleRate);

// "seek to: %d:%02d of %d:%02d <%d%%>"
std::string SeekReadout(const DragTarget& target);

// The seek target on the fileSize scale when the drag ends at barX.
int64_t SeekTarget(int barX, int margin, int skip, int64_t fileSize);

// One second as a skip step: sampleRate x 100000 / total (0 without a length).
int SkipStep(int32_t sampleRate, int64_t total);

} // namespace lumetra::ui
