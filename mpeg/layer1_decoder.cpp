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

// For allocation a (n = a + 1 bits): 2^n / (2^n - 1), and 2^(1-n) exactly.
struct Layer1Factors {
    double gain[16];
    double inverseHalf[16];
};
constexpr Layer1Factors kFactors = [] {
    Layer1Factors f{};
    for (int a = 0; a < 16; ++a) {
        const double half = static_cast<double>(1u << a);
        f.gain[a] = 2.0 * half / (2.0 * half - 1.0);
        f.inverseHalf[a] = 1.0 / half;
    }
    return f;
}();
constexpr const double* kGain = kFactors.gain;
constexpr const double* kInverseHalf = kFactors.inverseHalf;

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

    // The frame's dequantisation, n = allocation + 1 bits: f = -1 below the
    // top bit, plus the bits below it / 2^(n-1), that is code / 2^(n-1) - 1;
    // then (f + 2^(1-n)) x 2^n / (2^n - 1) x scale factor, as code x step + base.
    const auto& multiplier = ScaleFactorMultipliers();
    for (int ch = 0; ch < p.stereo; ++ch) {
        for (int sb = 0; sb < 32; ++sb) {
            const uint32_t a = s.allocation[ch][sb];
            double step = 0.0, base = 0.0;
            if (a) {
                const double gain = kGain[a & 15u] * multiplier[s.scaleIndex[ch][0][sb] & 63u];
                step = gain * kInverseHalf[a & 15u];
                base = (kInverseHalf[a & 15u] - 1.0) * gain;
            }
            s.step[ch][0][sb] = step;
            s.base[ch][0][sb] = base;
        }
    }
    // The reads of a block: subbands up, channels within; above the bound
    // one code serves both channels.
    const int bound = Bound(p);
    s.readCount = s.codeCount = 0;
    for (int sb = 0; sb < 32; ++sb) {
        for (int ch = 0; ch < (sb < bound ? p.stereo : 1); ++ch) {
            if (!s.allocation[ch][sb])
                continue;
            s.reads[s.readCount++] = {nullptr, 1, static_cast<uint8_t>(ch), static_cast<uint8_t>(sb)};
            s.codeBits[s.codeCount++] = static_cast<uint8_t>(s.allocation[ch][sb] + 1);
        }
    }
}

void ReadBlock(BitReader& reader, const FrameParams& p, LayerSamples& s, int row)
{
    uint32_t codes[64];
    reader.ReadMany(s.codeBits, s.codeCount, codes);
    for (int i = 0; i < s.readCount; ++i)
        s.sample[s.reads[i].ch][row][s.reads[i].sb] = codes[i];
    if (p.stereo == 2)
        for (int sb = Bound(p); sb < 32; ++sb)
            s.sample[1][row][sb] = s.sample[0][row][sb];
    // Unallocated subbands keep stale codes: their step and base are 0.
    for (int ch = 0; ch < p.stereo; ++ch)
        for (int sb = 0; sb < 32; ++sb)
            s.fraction[ch][row][sb] =
                static_cast<float>(static_cast<int32_t>(s.sample[ch][row][sb]) * s.step[ch][0][sb] + s.base[ch][0][sb]);
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
