#pragma once
// The decoder's tables are read once at start; what they report is shown here,
// in the program, never inside the decoder.

#include <optional>

namespace lumetra::app {

// Shows each complaint about a decoder table in an "Error Message" box; returns
// the status the program exits with when the decoder cannot run.
std::optional<int> ShowDecoderTableErrors();

} // namespace lumetra::app
