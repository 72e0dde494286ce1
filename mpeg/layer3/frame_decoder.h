#pragma once
// One layer III frame from the bits after its header (and CRC word): side
// information, main data into the reservoir, then each granule through
// scale factors, Huffman decoding, requantisation, stereo, the hybrid filter
// and synthesis. Any reader with ReadBits(n) will do, so the same code runs on
// files and on memory.

#include "mpeg/frame_header.h"
#include "mpeg/layer3/bit_reservoir.h"
#include "mpeg/layer3/hybrid_filter.h"
#include "mpeg/layer3/scale_factors.h"
#include "mpeg/layer3/side_info.h"
#include "mpeg/pcm_samples.h"
#include "mpeg/synthesis.h"

#include <cstdint>

namespace lumetra::mpeg {

class FrameDecoder {
public:
    // Empty reservoir; overlap memory cleared on next use.
    void Reset();
    // Free-format streams: the frame length without padding, measured when
    // the stream was opened; 0 leaves each frame to be measured from the one
    // before (so the first cannot be decoded).
    void SetFreeFormatBytes(int bytes) { m_freeFormatBytes = bytes; }

    // bitPosition: the reader's bit count at the side information, which
    // measures free-format frames. Writes the frame's sample frames to out (a
    // whole frame of silence when the frame is given up) and advances out;
    // returns the samples clipped.
    template <class Bits>
    int Decode(Bits& bits, int64_t bitPosition, const FrameHeader& header, int channels, Synthesis& synthesis,
               PcmSamples& pcm, int16_t*& out)
    {
        const int slots = FrameSlots(bitPosition, header, channels);
        SideInfo si;
        if (!ReadSideInfo(bits, si, header, channels) || slots < 0)
            return GiveUp(header, channels, out);
        int i = 0;
        for (; i + 4 <= slots; i += 4) {
            m_reservoir.AppendWord(bits.ReadBits(32));
        }
        for (; i < slots; ++i)
            m_reservoir.AppendByte(bits.ReadBits(8));
        return DecodeMainData(si, slots, header, channels, synthesis, pcm, out);
    }

private:
    int FrameSlots(int64_t bitPosition, const FrameHeader& header, int channels);
    int GiveUp(const FrameHeader& header, int channels, int16_t*& out);
    int DecodeMainData(SideInfo& si, int slots, const FrameHeader& header, int channels, Synthesis& synthesis,
                       PcmSamples& pcm, int16_t*& out);

    BitReservoir m_reservoir;
    HybridFilter m_hybrid;
    ScaleFactors m_scaleFactors[2] = {};
    int64_t m_lastFrameBits = -1; // free format: the previous frame's position
    int32_t m_lastPadding = 0;
    int m_freeFormatBytes = 0;
};

} // namespace lumetra::mpeg
