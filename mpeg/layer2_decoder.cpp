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

Dequantiser MakeDequantiser(const AllocationEntry& e)
{
    using tables::kDequantC;
    using tables::kDequantD;
    if (e.steps < 2)
        return Dequantiser{0, 0.0, 0.0, 0.0};
    // x: the smallest number with 2^x >= steps.
    const int x = 32 - __builtin_clz(static_cast<uint32_t>(e.steps) - 1u);
    const uint32_t half = 1u << (x - 1);
    const int q = e.quantClass < 0 ? 0 : (e.quantClass > 16 ? 16 : e.quantClass);
    return Dequantiser{half, 1.0 / half, kDequantD[q], kDequantC[q]};
}

// The three samples of every code of a grouped entry (3, 5 or 9 steps, 5, 7
// or 10 bits), 4 bits each, first sample lowest: division by the step count
// per sample costs more than the rest of the frame.
template <uint32_t Steps, int Bits>
constexpr std::array<uint16_t, (1u << Bits)> MakeGroupTable()
{
    std::array<uint16_t, (1u << Bits)> t{};
    for (uint32_t code = 0; code < t.size(); ++code)
        t[code] = static_cast<uint16_t>(code % Steps | (code / Steps % Steps) << 4 | (code / Steps / Steps % Steps) << 8);
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
            s.dequant[ch][sb] = sb < limit && s.allocation[ch][sb]
                                    ? MakeDequantiser(Entry(p, sb, s.allocation[ch][sb]))
                                    : Dequantiser{0, 0.0, 0.0, 0.0};
        }
    }
}

void ReadTriple(BitReader& reader, const FrameParams& p, int part, LayerSamples& s)
{
    const int limit = Limit(p), bound = Bound(p);
    for (int sb = 0; sb < limit; ++sb) {
        for (int ch = 0; ch < p.stereo; ++ch) {
            if (sb >= bound && ch == 1) {
                for (int k = 0; k < 3; ++k)
                    s.sample[1][k][sb] = s.sample[0][k][sb];
                continue;
            }
            const uint32_t a = s.allocation[ch][sb];
            if (!a) {
                s.sample[ch][0][sb] = s.sample[ch][1][sb] = s.sample[ch][2][sb] = 0;
                continue;
            }
            const AllocationEntry& e = Entry(p, sb, a);
            if (e.grouping == 3) {
                for (int k = 0; k < 3; ++k)
                    s.sample[ch][k][sb] = reader.ReadBits(e.bits);
            } else {
                uint32_t code = reader.ReadBits(e.bits);
                const uint32_t steps = e.steps > 0 ? static_cast<uint32_t>(e.steps) : 1u;
                const uint16_t* split = GroupTable(steps, e.bits);
                if (split) {
                    const uint32_t three = split[code];
                    s.sample[ch][0][sb] = three & 15u;
                    s.sample[ch][1][sb] = (three >> 4) & 15u;
                    s.sample[ch][2][sb] = three >> 8;
                    continue;
                }
                for (int k = 0; k < 3; ++k) {
                    s.sample[ch][k][sb] = code % steps;
                    code /= steps;
                }
            }
        }
    }
    const auto& multiplier = ScaleFactorMultipliers();
    for (int ch = 0; ch < p.stereo; ++ch) {
        for (int sb = 0; sb < 32; ++sb) {
            const uint32_t a = s.allocation[ch][sb];
            if (sb >= limit || !a) {
                s.fraction[ch][0][sb] = s.fraction[ch][1][sb] = s.fraction[ch][2][sb] = 0.0f;
                continue;
            }
            const Dequantiser& q = s.dequant[ch][sb];
            const double scale = multiplier[s.scaleIndex[ch][part][sb] & 63u];
            for (int k = 0; k < 3; ++k) {
                const uint32_t code = s.sample[ch][k][sb];
                double f = (code & q.half) ? 0.0 : -1.0;
                f += static_cast<double>(code & (q.half - 1u)) * q.invHalf;
                f += q.d;
                f *= q.c;
                s.fraction[ch][k][sb] = static_cast<float>(f * scale);
            }
        }
    }
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
