#pragma once
// Layer III side information: where a frame's main data starts in the
// reservoir and how each granule and channel is coded.

#include "mpeg/frame_header.h"

#include <cstdint>

namespace lumetra::mpeg {

struct GranuleChannelInfo {
    int32_t part2_3Length;
    int32_t bigValues;
    int32_t globalGain;
    int32_t scalefacCompress; // 4 bits MPEG-1, 9 bits MPEG-2 LSF
    int32_t windowSwitching;
    int32_t blockType;
    int32_t mixedBlock;
    int32_t tableSelect[3];
    int32_t subblockGain[3];
    int32_t region0Count;
    int32_t region1Count;
    int32_t preflag; // MPEG-2 LSF: derived from scalefacCompress
    int32_t scalefacScale;
    int32_t count1TableSelect;
    // Short blocks: where region 1 begins, after the first three short bands
    // of every window (36 lines, 72 in the 8 kHz band layout).
    int32_t shortRegion1 = 36;
};

struct SideInfo {
    int32_t mainDataBegin;
    int32_t privateBits;
    int32_t scfsi[2][4]; // MPEG-1 only
    GranuleChannelInfo gr[2][2];
};

// Reads the side information that follows the header (and CRC word) through
// any reader with ReadBits(n). Returns 1 valid, 0 invalid (window switching
// with block type 0).
template <class Bits>
int ReadSideInfo(Bits& bits, SideInfo& si, const FrameHeader& header, int channels)
{
    const bool mpeg1 = header.id == 1;
    const int granules = mpeg1 ? 2 : 1;
    si = SideInfo{};
    if (mpeg1) {
        si.mainDataBegin = static_cast<int32_t>(bits.ReadBits(9));
        si.privateBits = static_cast<int32_t>(bits.ReadBits(channels == 1 ? 5 : 3));
        for (int ch = 0; ch < channels; ++ch)
            for (int band = 0; band < 4; ++band)
                si.scfsi[ch][band] = static_cast<int32_t>(bits.ReadBits(1));
    } else {
        si.mainDataBegin = static_cast<int32_t>(bits.ReadBits(8));
        si.privateBits = static_cast<int32_t>(bits.ReadBits(channels == 1 ? 1 : 2));
    }
    int valid = 1;
    for (int gr = 0; gr < granules; ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            GranuleChannelInfo& g = si.gr[gr][ch];
            g.part2_3Length = static_cast<int32_t>(bits.ReadBits(12));
            g.bigValues = static_cast<int32_t>(bits.ReadBits(9));
            g.globalGain = static_cast<int32_t>(bits.ReadBits(8));
            g.scalefacCompress = static_cast<int32_t>(bits.ReadBits(mpeg1 ? 4 : 9));
            g.windowSwitching = static_cast<int32_t>(bits.ReadBits(1));
            if (g.windowSwitching) {
                g.blockType = static_cast<int32_t>(bits.ReadBits(2));
                g.mixedBlock = static_cast<int32_t>(bits.ReadBits(1));
                for (int i = 0; i < 2; ++i)
                    g.tableSelect[i] = static_cast<int32_t>(bits.ReadBits(5));
                for (int i = 0; i < 3; ++i)
                    g.subblockGain[i] = static_cast<int32_t>(bits.ReadBits(3));
                g.region0Count = (g.blockType == 2 && !g.mixedBlock) ? 8 : 7;
                g.region1Count = 20 - g.region0Count;
                if (g.blockType == 0)
                    valid = 0;
            } else {
                for (int i = 0; i < 3; ++i)
                    g.tableSelect[i] = static_cast<int32_t>(bits.ReadBits(5));
                g.region0Count = static_cast<int32_t>(bits.ReadBits(4));
                g.region1Count = static_cast<int32_t>(bits.ReadBits(3));
                g.blockType = 0;
            }
            if (mpeg1)
                g.preflag = static_cast<int32_t>(bits.ReadBits(1));
            g.scalefacScale = static_cast<int32_t>(bits.ReadBits(1));
            g.count1TableSelect = static_cast<int32_t>(bits.ReadBits(1));
        }
    }
    return valid;
}

// Bytes of main data carried by a frame: what remains after header, CRC word
// and side information. Free-format frames (bitrate 0) are measured instead.
int MainDataSlots(const FrameHeader& header, int channels);

} // namespace lumetra::mpeg
