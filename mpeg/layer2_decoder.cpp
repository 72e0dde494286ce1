#include "mpeg/layer2_decoder.h"

#include "mpeg/allocation_table.h"
#include "mpeg/frame_crc.h"
#include "mpeg/scale_factors.h"
#include "mpeg/tables.h"

#include <algorithm>
#include <array>

namespace lumetra::mpeg {

int AllocationTableNumber(int id, int samplingFrequency, int bitrateIndex, int channels)
{
    return AllocationTableNumberForKbps(id, samplingFrequency, BitrateKbps(id, 2, bitrateIndex), channels);
}

int AllocationTableNumberForKbps(int id, int samplingFrequency, int kbps, int channels)
{
    if (id != 1)
        return 4;
    const int perChannel = kbps / (channels > 0 ? channels : 1);
    const int khz = static_cast<int>(SampleRateKhz(id, samplingFrequency));
    if ((khz == 48 && perChannel >= 56) || (perChannel >= 56 && perChannel <= 80))
        return 0;
    if (khz != 48 && perChannel >= 96)
        return 1;
    if (khz != 32 && perChannel <= 48)
        return 2;
    return 3;
}

int ChooseAllocationTable(FrameParams& p)
{
    const FrameHeader& h = *p.header;
    const int kbps = h.bitrateIndex == 0 ? p.freeFormatKbps : BitrateKbps(h.id, 2, h.bitrateIndex);
    const int number = AllocationTableNumberForKbps(h.id, h.samplingFrequency, kbps, p.stereo);
    if (number != p.tableNumber && p.alloc) {
        p.sbLimit = std::clamp(ReadAllocationTable(number, *p.alloc), 0, 32);
        p.tableNumber = number;
    }
    return p.sbLimit;
}

namespace layer2 {
namespace {

int Limit(const FrameParams& p)
{
    return std::clamp(p.sbLimit, 0, 32);
}

int Bound(const FrameParams& p)
{
    return std::clamp(p.jsBound, 0, Limit(p));
}

const AllocationEntry& Entry(const FrameParams& p, int sb, uint32_t a)
{
    return p.alloc->entry[sb][a & 15u];
}

// 2^-k for k = 0..31.
constexpr auto kInversePowers = [] {
    std::array<double, 32> t{};
    double v = 1.0;
    for (double& x : t) {
        x = v;
        v *= 0.5;
    }
    return t;
}();

// f = -1 below bit x-1 of the code (x: the smallest number with 2^x >= steps),
// plus the bits below it / 2^(x-1); that is code / 2^(x-1) - 1 for every code
// of x bits. Then (f + D) x C x scale factor, as code x step + base.
void SetDequantiser(const AllocationEntry& e, const uint32_t part[3], int ch, int sb, LayerSamples& s)
{
    using tables::kDequantC;
    using tables::kDequantD;
    const auto& multiplier = ScaleFactorMultipliers();
    double step = 0.0, base = 0.0;
    if (e.steps >= 2) {
        const int x = 32 - __builtin_clz(static_cast<uint32_t>(e.steps) - 1u);
        const int q = e.quantClass < 0 ? 0 : (e.quantClass > 16 ? 16 : e.quantClass);
        step = kDequantC[q] * kInversePowers[x - 1]; // exact: no division needed
        base = kDequantC[q] * (kDequantD[q] - 1.0);
    }
    for (int k = 0; k < 3; ++k) {
        const double scale = multiplier[part[k] & 63u];
        s.step[ch][k][sb] = step * scale;
        s.base[ch][k][sb] = base * scale;
    }
}

// The three samples of every code of a grouped entry (3, 5 or 9 steps, 5, 7
// or 10 bits), 4 bits each, first sample lowest: division by the step count
// per sample costs more than the rest of the frame.
template <uint32_t Steps, int Bits>
constexpr std::array<uint16_t, (1u << Bits)> MakeGroupTable()
{
    std::array<uint16_t, (1u << Bits)> t{};
    for (uint32_t code = 0; code < t.size(); ++code)
        t[code] =
            static_cast<uint16_t>(code % Steps | (code / Steps % Steps) << 4 | (code / Steps / Steps % Steps) << 8);
    return t;
}

constexpr auto kGroups3 = MakeGroupTable<3, 5>();
constexpr auto kGroups5 = MakeGroupTable<5, 7>();
constexpr auto kGroups9 = MakeGroupTable<9, 10>();

const uint16_t* GroupTable(uint32_t steps, int bits)
{
    if (steps == 3 && bits == 5)
        return kGroups3.data();
    if (steps == 5 && bits == 7)
        return kGroups5.data();
    if (steps == 9 && bits == 10)
        return kGroups9.data();
    return nullptr;
}

// The reads of a triple, in the order of the stream: subbands up, channels
// within; above the joint-stereo bound channel 1 shares channel 0's codes.
void PlanReads(const FrameParams& p, LayerSamples& s)
{
    const int limit = Limit(p), bound = Bound(p);
    s.readCount = s.codeCount = 0;
    for (int sb = 0; sb < limit; ++sb) {
        for (int ch = 0; ch < (sb < bound ? p.stereo : 1); ++ch) {
            const uint32_t a = s.allocation[ch][sb];
            if (!a)
                continue;
            const AllocationEntry& e = Entry(p, sb, a);
            const uint8_t bits = static_cast<uint8_t>(std::clamp(e.bits, 0, 32));
            LayerSamples::CodeRead& r = s.reads[s.readCount++];
            r.ch = static_cast<uint8_t>(ch);
            r.sb = static_cast<uint8_t>(sb);
            if (e.grouping == 3) {
                r.steps = 0;
                r.split = nullptr;
                for (int k = 0; k < 3; ++k)
                    s.codeBits[s.codeCount++] = bits;
            } else {
                r.steps = static_cast<uint16_t>(std::clamp(e.steps, 1, 0xffff));
                r.split = GroupTable(r.steps, bits);
                s.codeBits[s.codeCount++] = bits;
            }
        }
    }
}

// Four doubles at a time where the processor has AVX2; the same results.
#if defined(__x86_64__)
[[gnu::target_clones("avx2", "default")]]
#endif
void Dequantise(const uint32_t (*code)[32], const double* step, const double* base, float (*fraction)[32])
{
    for (int k = 0; k < 3; ++k)
        for (int sb = 0; sb < 32; ++sb)
            fraction[k][sb] = static_cast<float>(static_cast<int32_t>(code[k][sb]) * step[sb] + base[sb]);
}

} // namespace

void ReadAllocation(BitReader& reader, const FrameParams& p, LayerSamples& s)
{
    const int limit = Limit(p), bound = Bound(p);
    for (int sb = 0; sb < bound; ++sb)
        for (int ch = 0; ch < p.stereo; ++ch)
            s.allocation[ch][sb] = reader.ReadBits(p.alloc->entry[sb][0].bits);
    for (int sb = bound; sb < limit; ++sb)
        s.allocation[0][sb] = s.allocation[1][sb] = reader.ReadBits(p.alloc->entry[sb][0].bits);
    for (int sb = limit; sb < 32; ++sb)
        s.allocation[0][sb] = s.allocation[1][sb] = 0;
}

void ReadScaleFactors(BitReader& reader, const FrameParams& p, LayerSamples& s)
{
    const int limit = Limit(p);
    for (int sb = 0; sb < limit; ++sb)
        for (int ch = 0; ch < p.stereo; ++ch)
            if (s.allocation[ch][sb])
                s.scfsi[ch][sb] = reader.ReadBits(2);
    for (int sb = 0; sb < 32; ++sb) {
        for (int ch = 0; ch < p.stereo; ++ch) {
            uint32_t part[3];
            if (sb >= limit || !s.allocation[ch][sb]) {
                part[0] = part[1] = part[2] = 63;
            } else {
                switch (s.scfsi[ch][sb]) {
                case 0:
                    part[0] = reader.ReadBits(6);
                    part[1] = reader.ReadBits(6);
                    part[2] = reader.ReadBits(6);
                    break;
                case 1:
                    part[0] = part[1] = reader.ReadBits(6);
                    part[2] = reader.ReadBits(6);
                    break;
                case 2:
                    part[0] = part[1] = part[2] = reader.ReadBits(6);
                    break;
                default:
                    part[0] = reader.ReadBits(6);
                    part[1] = part[2] = reader.ReadBits(6);
                    break;
                }
            }
            for (int k = 0; k < 3; ++k)
                s.scaleIndex[ch][k][sb] = part[k];
            if (sb < limit && s.allocation[ch][sb]) {
                SetDequantiser(Entry(p, sb, s.allocation[ch][sb]), part, ch, sb, s);
            } else {
                for (int k = 0; k < 3; ++k)
                    s.step[ch][k][sb] = s.base[ch][k][sb] = 0.0;
            }
        }
    }
    PlanReads(p, s);
}

void ReadTriple(BitReader& reader, const FrameParams& p, int part, LayerSamples& s)
{
    uint32_t codes[192];
    reader.ReadMany(s.codeBits, s.codeCount, codes);
    const uint32_t* code = codes;
    for (int i = 0; i < s.readCount; ++i) {
        const LayerSamples::CodeRead& r = s.reads[i];
        uint32_t* out[3] = {&s.sample[r.ch][0][r.sb], &s.sample[r.ch][1][r.sb], &s.sample[r.ch][2][r.sb]};
        if (!r.steps) {
            *out[0] = code[0];
            *out[1] = code[1];
            *out[2] = code[2];
            code += 3;
        } else if (r.split) {
            const uint32_t three = r.split[*code++];
            *out[0] = three & 15u;
            *out[1] = (three >> 4) & 15u;
            *out[2] = three >> 8;
        } else {
            uint32_t c = *code++;
            for (int k = 0; k < 3; ++k) {
                *out[k] = c % r.steps;
                c /= r.steps;
            }
        }
    }
    // Unallocated subbands keep stale codes: their step and base are 0.
    if (p.stereo == 2)
        for (int sb = Bound(p); sb < Limit(p); ++sb)
            for (int k = 0; k < 3; ++k)
                s.sample[1][k][sb] = s.sample[0][k][sb];
    for (int ch = 0; ch < p.stereo; ++ch)
        Dequantise(s.sample[ch], s.step[ch][part], s.base[ch][part], s.fraction[ch]);
}

uint16_t Crc(const FrameParams& p, const LayerSamples& s)
{
    FrameCrc crc;
    crc.AddHeader(*p.header);
    const int limit = Limit(p), bound = Bound(p);
    for (int sb = 0; sb < bound; ++sb)
        for (int ch = 0; ch < p.stereo; ++ch)
            crc.Add(s.allocation[ch][sb], p.alloc->entry[sb][0].bits);
    for (int sb = bound; sb < limit; ++sb)
        crc.Add(s.allocation[0][sb], p.alloc->entry[sb][0].bits);
    for (int sb = 0; sb < limit; ++sb)
        for (int ch = 0; ch < p.stereo; ++ch)
            if (s.allocation[ch][sb])
                crc.Add(s.scfsi[ch][sb], 2);
    return crc.Value();
}

} // namespace layer2
} // namespace lumetra::mpeg
