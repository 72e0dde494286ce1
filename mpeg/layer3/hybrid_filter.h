#pragma once
// From requantised (and stereo-processed) lines to 18 time slots of 32 subband
// samples: reorder of short blocks, alias reduction, inverse MDCT with the
// block type's window, overlap with the previous granule, frequency inversion.

#include "mpeg/layer3/side_info.h"

namespace lumetra::mpeg {

class HybridFilter {
public:
    HybridFilter();

    // Overlap memory cleared on the next Run().
    void RequestReset() { m_resetPending = true; }

    // xr: 576 lines of channel ch in bitstream order (modified); count: lines
    // that may be non-zero. shortBands: the 14 short band boundaries.
    // Writes out[slot][subband].
    void Run(float* xr, int count, const GranuleChannelInfo& g, const int16_t* shortBands, int ch, float out[18][32]);

private:
    alignas(16) float m_overlap[2][18][32]; // [channel][slot][subband]
    bool m_resetPending = true;
};

} // namespace lumetra::mpeg
