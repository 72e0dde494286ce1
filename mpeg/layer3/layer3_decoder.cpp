#include "mpeg/layer3/layer3_decoder.h"

#include "mpeg/layer3/bit_reservoir.h"
#include "mpeg/layer3/huffman_decoder.h"
#include "mpeg/layer3/huffman_tables.h"
#include "mpeg/layer3/hybrid_filter.h"
#include "mpeg/layer3/requantizer.h"
#include "mpeg/layer3/scale_factors.h"
#include "mpeg/layer3/side_info.h"
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

struct Layer3Decoder::State {
    BitReservoir reservoir;
    HybridFilter hybrid;
    ScaleFactors scaleFactors[2] = {};
    // Free format: where the previous frame's side information started.
    int64_t lastFrameBits = -1;
    int32_t lastPadding = 0;
};

Layer3Decoder::Layer3Decoder() : m_state(new State) {}

Layer3Decoder::~Layer3Decoder()
{
    delete m_state;
}

void Layer3Decoder::ResetForOpen()
{
    m_state->reservoir.Reset();
    m_state->hybrid.RequestReset();
    m_state->lastFrameBits = -1;
}

int Layer3Decoder::DecodeFrame(BitReader& reader, const FrameHeader& header, const FrameParams& params,
                               Synthesis& synthesis, PcmSamples& pcm, int16_t*& out)
{
    State& s = *m_state;
    const bool mpeg1 = header.id == 1;
    const int channels = params.stereo == 1 ? 1 : 2;
    const int granules = mpeg1 ? 2 : 1;
    const int samplesPerFrame = mpeg1 ? 1152 : 576;
    auto giveUp = [&] {
        std::memset(out, 0, sizeof(int16_t) * samplesPerFrame * channels);
        out += samplesPerFrame * channels;
        return 0;
    };

    const int64_t frameBits = reader.BitPosition();
    int slots;
    if (header.bitrateIndex == 0) {
        // Free format: the frame's length is the distance from the previous one.
        const int64_t previous = s.lastFrameBits;
        const int32_t previousPadding = s.lastPadding;
        s.lastFrameBits = frameBits;
        s.lastPadding = header.padding;
        if (previous < 0 || frameBits <= previous)
            slots = -1;
        else
            slots = static_cast<int>((frameBits - previous) / 8) - previousPadding + header.padding - 4
                    - (header.errorProtection ? 2 : 0) - SideInfoBytes(mpeg1, channels);
    } else {
        slots = MainDataSlots(header, channels);
    }

    SideInfo si;
    if (!ReadSideInfo(reader, si, header, channels) || slots < 0)
        return giveUp();

    BitReservoir& res = s.reservoir;
    for (int i = 0; i < slots; ++i)
        res.AppendByte(reader.ReadBits(8));
    if (res.BeginFrame(si.mainDataBegin, slots) < 0)
        return giveUp();

    const HuffmanTables& tables = TheHuffmanTables();
    const BandLayout bands = BandLayoutFor(header.id, header.samplingFrequency);
    const bool joint = channels == 2 && header.mode == 1;
    const bool middleSide = joint && (header.modeExt & 2);
    const bool intensity = joint && (header.modeExt & 1);

    int clips = 0;
    for (int gr = 0; gr < granules; ++gr) {
        int32_t q[kGranuleLines];
        float xr[2][kGranuleLines];
        int count[2] = {0, 0};
        for (int ch = 0; ch < channels; ++ch) {
            GranuleChannelInfo& g = si.gr[gr][ch];
            const int32_t start = res.Position();
            if (mpeg1)
                ReadScaleFactorsMpeg1(res, g, si.scfsi[ch], gr, s.scaleFactors[ch]);
            else
                ReadScaleFactorsLsf(res, g, intensity && ch == 1, s.scaleFactors[ch]);
            count[ch] = DecodeHuffman(res, g, bands.longBands, tables, start + g.part2_3Length, q);
            Requantize(q, count[ch], g, s.scaleFactors[ch], bands, xr[ch]);
        }
        if (middleSide || intensity)
            ProcessStereo(xr, count, middleSide, intensity, !mpeg1, si.gr[gr][1], s.scaleFactors[1], bands);
        for (int ch = 0; ch < channels; ++ch) {
            float slots32[18][32];
            s.hybrid.Run(xr[ch], count[ch], si.gr[gr][ch], bands.shortBands, ch, slots32);
            for (int ss = 0; ss < 18; ++ss)
                clips += synthesis.Synthesize(slots32[ss], ch, pcm.s[ch][ss]);
        }
        out = WritePcmRows(pcm, kPcmRows, channels, out);
    }
    return clips;
}

} // namespace lumetra::mpeg
