#pragma once
// The 512 synthesis window coefficients D[0..511], parsed from the embedded text
// "dewindow" (128 lines "D[i] = v D[i+1] = v ..." each followed by a blank line).

#include "mpeg/table_report.h"

namespace lumetra::mpeg {

// A missing table reports "Please check synthesis window table 'dewindow'" and a
// line whose first index is not 4 x its number "Check index in synthesis window
// table", both with exit status 1; false then, and the window is incomplete.
bool ReadSynthesisWindow(float window[512], TableReport* report = nullptr);

} // namespace lumetra::mpeg
