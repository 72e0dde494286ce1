#pragma once
// Free-format streams (bit rate index 0) do not say how long their frames are.
// The length is the distance from the first frame to the next one with the
// same fixed header fields, confirmed by the frame after that.

#include "mpeg/frame_header.h"

#include <cstdint>
#include <span>

namespace lumetra::mpeg {

// The frame length in bytes without padding of the free-format stream whose
// first frame starts at data[0], 0 when no following frame was found in data.
int FreeFormatFrameBytes(std::span<const uint8_t> data, const FrameHeader& first);

// The bit rate in kbit/s that a frame length (bytes without padding) implies,
// rounded to the nearest.
int ImpliedKbps(const FrameHeader& header, int frameBytes);

} // namespace lumetra::mpeg
