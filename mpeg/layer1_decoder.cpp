#include "mpeg/layer1_decoder.h"

#include "mpeg/frame_crc.h"
#include "mpeg/scale_factors.h"

#include <algorithm>

namespace lumetra::mpeg::layer1 {
namespace {

int Bound(const FrameParams& p)
{
    return std::clamp(p.jsBound, 0, 32);
}

} // namespace

void ReadAllocation(BitReader& reader, const FrameParams& p, LayerSamples& s)
{
    const int bound = Bound(p);
    for (int sb = 0; sb < bound; ++sb)
        for (int ch = 0; ch < p.stereo; ++ch)
            s.allocation[ch][sb] = reader.ReadBits(4);
    for (int sb = bound; sb < 32; ++sb)
        s.allocation[0][sb] = s.allocation[1][sb] = reader.ReadBits(4);
}

void ReadScaleFactors(BitReader& reader, const FrameParams& p, LayerSamples& s)
{
    for (int sb = 0; sb < 32; ++sb)
        for (int ch = 0; ch < p.stereo; ++ch)
            s.scaleIndex[ch][0][sb] = s.allocation[ch][sb] ? reader.ReadBits(6) : 63;
}

void ReadBlock(BitReader& reader, const FrameParams& p, LayerSamples& s)
{
    const int bound = Bound(p);
    for (int sb = 0; sb < 32; ++sb) {
        for (int ch = 0; ch < p.stereo; ++ch) {
            if (sb >= bound && ch == 1) {
                s.sample[1][0][sb] = s.sample[0][0][sb];
                continue;
            }
            uint32_t a = s.allocation[ch][sb];
            s.sample[ch][0][sb] = a ? reader.ReadBits(static_cast<int>(a) + 1) : 0;
        }
    }
    const auto& multiplier = ScaleFactorMultipliers();
    for (int ch = 0; ch < p.stereo; ++ch) {
        for (int sb = 0; sb < 32; ++sb) {
            uint32_t a = s.allocation[ch][sb];
            if (!a) {
                s.fraction[ch][0][sb] = 0.0f;
                continue;
            }
            const int n = static_cast<int>(a) + 1;
            const uint32_t code = s.sample[ch][0][sb];
            const double half = static_cast<double>(1u << (n - 1));
            double f = ((code >> (n - 1)) & 1u) ? 0.0 : -1.0;
            f += (code & ((1u << (n - 1)) - 1u)) / half;
            const double full = 2.0 * half;
            f = (f + 1.0 / half) * full / (full - 1.0);
            f *= multiplier[s.scaleIndex[ch][0][sb] & 63u];
            s.fraction[ch][0][sb] = static_cast<float>(f);
        }
    }
}

uint16_t Crc(const FrameParams& p, const LayerSamples& s)
{
    FrameCrc crc;
    crc.AddHeader(*p.header);
    const int bound = Bound(p);
    for (int sb = 0; sb < bound; ++sb)
        for (int ch = 0; ch < p.stereo; ++ch)
            crc.Add(s.allocation[ch][sb], 4);
    for (int sb = bound; sb < 32; ++sb)
        crc.Add(s.allocation[0][sb], 4);
    return crc.Value();
}

} // namespace lumetra::mpeg::layer1
