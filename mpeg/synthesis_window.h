#pragma once
// The 512 synthesis window coefficients D[0..511], parsed from the embedded text
// "dewindow" (128 lines "D[i] = v D[i+1] = v ..." each followed by a blank line).

namespace lumetra::mpeg {

// A missing table prints "Please check synthesis window table 'dewindow'" and a
// line whose first index is not 4 x its number prints "Check index in synthesis
// window table"; both end the process with status 1.
void ReadSynthesisWindow(float window[512]);

} // namespace lumetra::mpeg
