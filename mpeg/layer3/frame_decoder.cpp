#include "mpeg/layer3/frame_decoder.h"

#include "mpeg/layer3/huffman_decoder.h"
#include "mpeg/layer3/huffman_tables.h"
#include "mpeg/layer3/requantizer.h"
#include "mpeg/layer3/stereo.h"

#include <cstring>

namespace lumetra::mpeg {
namespace {

int SideInfoBytes(bool mpeg1, int channels)
{
    if (mpeg1)
        return channels == 1 ? 17 : 32;
    return channels == 1 ? 9 : 17;
}

} // namespace

int MainDataSlots(const FrameHeader& header, int channels)
{
    const double khz = SampleRateKhz(header.id, header.samplingFrequency);
    const int kbps = BitrateKbps(header.id, 3, header.bitrateIndex);
    if (khz <= 0.0)
        return 0;
    int slots = static_cast<int>(144.0 * kbps / khz);
    if (header.id == 1)
        slots -= channels == 1 ? 17 : 32;
    else
        slots = slots / 2 - (channels == 1 ? 9 : 17);
    if (header.padding)
        ++slots;
    slots -= 4;
    if (header.errorProtection)
        slots -= 2;
    return slots;
}

void FrameDecoder::Reset()
{
    m_reservoir.Reset();
    m_hybrid.RequestReset();
    m_lastFrameBits = -1;
    m_lastPadding = 0;
}

int FrameDecoder::FrameSlots(int64_t bitPosition, const FrameHeader& header, int channels)
{
    if (header.bitrateIndex != 0)
        return MainDataSlots(header, channels);
    if (m_freeFormatBytes > 0)
        return m_freeFormatBytes + header.padding - 4 - (header.errorProtection ? 2 : 0) -
               SideInfoBytes(header.id == 1, channels);
    // Free format: the frame is as long as the distance from the previous
    // one, give or take the padding byte. The first one cannot be measured.
    const int64_t previous = m_lastFrameBits;
    const int32_t previousPadding = m_lastPadding;
    m_lastFrameBits = bitPosition;
    m_lastPadding = header.padding;
    if (previous < 0 || bitPosition <= previous || bitPosition - previous > 8 * 8192)
        return -1;
    return static_cast<int>((bitPosition - previous) / 8) - previousPadding + header.padding - 4 -
           (header.errorProtection ? 2 : 0) - SideInfoBytes(header.id == 1, channels);
}

int FrameDecoder::GiveUp(const FrameHeader& header, int channels, int16_t*& out)
{
    const int samples = (header.id == 1 ? 1152 : 576) * channels;
    std::memset(out, 0, sizeof(int16_t) * samples);
    out += samples;
    return 0;
}

int FrameDecoder::DecodeMainData(SideInfo& si, int slots, const FrameHeader& header, int channels, Synthesis& synthesis,
                                 PcmSamples& pcm, int16_t*& out)
{
    if (m_reservoir.BeginFrame(si.mainDataBegin, slots) < 0)
        return GiveUp(header, channels, out);

    const bool mpeg1 = header.id == 1;
    const HuffmanTables& tables = TheHuffmanTables();
    const BandLayout bands = BandLayoutFor(header.id, header.samplingFrequency);
    const bool joint = channels == 2 && header.mode == kModeJointStereo;
    const bool middleSide = joint && (header.modeExt & 2);
    const bool intensity = joint && (header.modeExt & 1);

    int clips = 0;
    for (int gr = 0; gr < (mpeg1 ? 2 : 1); ++gr) {
        float xr[2][kGranuleLines];
        int count[2] = {0, 0};
        for (int ch = 0; ch < channels; ++ch) {
            GranuleChannelInfo& g = si.gr[gr][ch];
            const int32_t start = m_reservoir.Position();
            g.shortRegion1 = 3 * bands.shortBands[3];
            if (mpeg1)
                ReadScaleFactorsMpeg1(m_reservoir, g, si.scfsi[ch], gr, m_scaleFactors[ch]);
            else
                ReadScaleFactorsLsf(m_reservoir, g, intensity && ch == 1, m_scaleFactors[ch]);
            GainSegments gains;
            BuildGainSegments(g, m_scaleFactors[ch], bands, gains);
            count[ch] = DecodeHuffmanRequantized(m_reservoir, g, bands.longBands, tables, start + g.part2_3Length,
                                                 gains, xr[ch]);
        }
        if (middleSide || intensity)
            ProcessStereo(xr, count, middleSide, intensity, !mpeg1, si.gr[gr][1], m_scaleFactors[1], bands);
        for (int ch = 0; ch < channels; ++ch) {
            float slots32[18][32];
            m_hybrid.Run(xr[ch], count[ch], si.gr[gr][ch], bands.shortBands, ch, slots32);
            clips += synthesis.SynthesizeSlots(slots32, 18, ch, pcm.s[ch]);
        }
        out = WritePcmRows(pcm, kPcmRows, channels, out);
    }
    return clips;
}

} // namespace lumetra::mpeg
