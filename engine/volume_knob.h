#pragma once
// The volume knob: dragging around its centre turns the volume, and dragging
// above or below it adds a push proportional to the distance.

#include <cstdint>

namespace lumetra::engine {

struct KnobDrag {
    int referenceX = 0;
    int referenceY = 0;
    int32_t referenceVolume = 0; // low half of the volume when the reference was taken
};

// Starts a drag at the cursor with the current volume as the reference.
KnobDrag BeginKnobDrag(int cursorX, int cursorY, uint32_t volume);

// The volume (0..65535) for the cursor at (x, y). Crossing the cut straight below
// the centre makes the cursor and currentVolume the new reference.
int32_t TurnKnob(KnobDrag& drag, int centreX, int centreY, int x, int y, uint32_t currentVolume);

} // namespace lumetra::engine
