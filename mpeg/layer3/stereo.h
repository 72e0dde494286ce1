#pragma once
// Joint stereo of one granule: middle/side and intensity stereo (MPEG-1
// ratios, or the MPEG-2 LSF powers), on the requantised values in bitstream
// order (before short blocks are reordered).

#include "mpeg/layer3/requantizer.h"
#include "mpeg/layer3/scale_factors.h"
#include "mpeg/layer3/side_info.h"

namespace lumetra::mpeg {

// xr[0] left/middle, xr[1] right/side; count[c] = lines of channel c that may
// be non-zero, updated. right is the right channel's side info and scale
// factors (intensity positions).
void ProcessStereo(float (*xr)[576], int count[2], bool middleSide, bool intensity, bool lsf,
                   const GranuleChannelInfo& right, const ScaleFactors& rightSf, const BandLayout& bands);

} // namespace lumetra::mpeg
