// The wavelet decoder against a literal, unoptimised model of the frame format on
// random and realistic payloads, and the run-length reader against bit strings
// written out by hand for its edge cases.

#include "radio/codec/filter_threshold.h"
#include "radio/codec/wavelet_decoder.h"
#include "radio/codec/wavelet_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace lumetra::radio {
namespace {

using Samples = std::array<uint8_t, kFrameSamples>;

// A payload from header fields and a bit string ("0"/"1", blanks ignored).
std::vector<uint8_t> Frame(bool runLength, int q, int base, int ratio, uint16_t mask, const std::string& bits)
{
    std::vector<uint8_t> p{static_cast<uint8_t>((runLength ? 0x80 : 0) | q), static_cast<uint8_t>(base & 0xFF),
                           static_cast<uint8_t>(((base >> 8) << 7) | ratio), static_cast<uint8_t>(mask & 0xFF),
                           static_cast<uint8_t>(mask >> 8)};
    int n = 0;
    for (char ch : bits) {
        if (ch != '0' && ch != '1')
            continue;
        if (n % 8 == 0)
            p.push_back(0);
        if (ch == '1')
            p.back() |= static_cast<uint8_t>(0x80 >> (n % 8));
        ++n;
    }
    return p;
}

std::string Field(uint32_t v, int width)
{
    std::string s;
    for (int k = width - 1; k >= 0; --k)
        s += ((v >> k) & 1) ? '1' : '0';
    return s;
}

Samples Decode(const std::vector<uint8_t>& payload, bool filter = false, int32_t t = 2)
{
    Samples out{};
    DecodeFrame(payload, filter, t, out);
    return out;
}

Coefficients Read(const std::vector<uint8_t>& payload)
{
    Coefficients c{};
    ReadCoefficients(payload, c);
    return c;
}

// ---- literal model ------------------------------------------------------------

struct ModelReader {
    const std::vector<uint8_t>& bytes;
    size_t pos = 40; // after the header
    bool end = false;
    int Bit()
    {
        if (pos >= bytes.size() * 8) {
            end = true;
            return 0;
        }
        int b = (bytes[pos / 8] >> (7 - pos % 8)) & 1;
        ++pos;
        return b;
    }
    int Bits(int n)
    {
        int v = 0;
        for (int k = 0; k < n && !end; ++k)
            v = v * 2 + Bit();
        return v;
    }
    int Value(int start)
    {
        int z = start;
        while (z < 12) {
            int b = Bit();
            if (end)
                return 0;
            if (b == 1)
                break;
            z++;
        }
        if (z == 0)
            return 0;
        if (z < 12) {
            int sign = Bit();
            return end ? 0 : (sign ? -z : z);
        }
        int f = Bits(12);
        return end ? 0 : f - 2048;
    }
};

std::vector<int> ModelCoefficients(const std::vector<uint8_t>& bytes)
{
    std::vector<int> c(2048, 0);
    if (bytes.size() < 5)
        return c;
    ModelReader r{bytes};
    if (!(bytes[0] & 0x80)) {
        for (int p = 0; p < 2048; p++) {
            int v = r.Value(0);
            if (r.end)
                break;
            c[p] = v;
        }
        return c;
    }
    int k = 11, w = 2048, p = 0;
    while (true) {
        int n = r.Bits(k);
        int b = r.Bit();
        if (r.end || p + n > 2048)
            break;
        bool stop = false;
        for (int j = 0; j < n; j++) {
            int v = r.Value(b);
            if (r.end) {
                stop = true;
                break;
            }
            c[p++] = v;
        }
        if (stop || p == 2048)
            break;
        int zeros = r.Bits(k);
        if (r.end || p + zeros > 2048)
            break;
        p += zeros;
        if (2048 - p < w / 2 - 1 && k >= 3) {
            k--;
            w /= 2;
        }
        if (p == 2048)
            break;
    }
    return c;
}

Samples ModelDecode(const std::vector<uint8_t>& bytesIn, bool filter, int t)
{
    std::vector<uint8_t> bytes = bytesIn;
    while (bytes.size() < 5)
        bytes.push_back(0); // the decoder reads a short header as zeros
    std::vector<int> c = ModelCoefficients(bytesIn.size() < 5 ? bytes : bytesIn);
    int q = bytes[0] & 0x7F;
    if (q == 0)
        q = 1;
    int base = bytes[1] + 256 * (bytes[2] >> 7), ratio = bytes[2] & 0x7F;
    int mask = bytes[3] + 256 * bytes[4];
    int step[12];
    step[0] = base;
    for (int l = 1; l < 12; l++) {
        int next = (step[l - 1] * ratio + 50) / 100;
        if (next == step[l - 1] || next < 1)
            next = 1;
        step[l] = next;
    }
    std::vector<int16_t> y(2049, 0);
    int from = 2047;
    for (int l = 0; l <= 10; l++) {
        int s = 1 << (l + 1);
        for (int pos = s / 2; pos < 2048; pos += s)
            y[pos] = (int16_t)(c[from--] * step[l]);
    }
    y[0] = (int16_t)(c[0] * step[11] + 512);
    y[2048] = 512;
    auto at = [&](int i) -> int { return y.at(i); };
    for (int s = 2048, j = 0; s >= 2; s /= 2, j++) {
        std::vector<int16_t> scratch(y);
        for (int i = 0; i < 2048; i += s) {
            int a = at(i), d = at(i + s / 2), r1 = at(i + s);
            if (((mask >> j) & 1) == 0) {
                int P;
                if ((i - s) % 256 == 0 || (i + s) % 256 == 0)
                    P = 0;
                else if (i == 0)
                    P = r1 <= 512 ? (r1 - 512 - 2) / 4 : (r1 - 512 + 2) / 4;
                else {
                    int l1 = at(i - s);
                    P = r1 <= l1 ? (r1 - l1 - 2) / 4 : (r1 - l1 + 2) / 4;
                }
                scratch[i] = (int16_t)((2 * a - P + d) / 2);
                scratch[i + s / 2] = (int16_t)((2 * a - d + P) / 2);
            } else {
                int E;
                if ((i + s) % 256 == 0)
                    E = a;
                else if (i == 0 || i >= 2048 - s || (i + 2 * s) % 256 == 0) {
                    if ((i + 2 * s) % 256 == 0)
                        E = i == 0 ? (r1 + a) >> 1 : (3 * (r1 + 2 * a) - at(i - s)) >> 3;
                    else
                        E = (3 * (a + 2 * r1) - at(i + 2 * s)) >> 3;
                } else
                    E = (9 * (r1 + a) - at(i + 2 * s) - at(i - s)) >> 4;
                scratch[i + s / 2] = (int16_t)(E - d);
            }
        }
        y = scratch;
    }
    if (filter) {
        std::vector<int16_t> x(y);
        for (int k = 0; k <= 2044; k += 2) {
            int a = x[k], b = x[k + 1], cc = x[k + 2];
            int D = std::abs(b - (a + cc) / 2);
            bool pair = t >= 1 ? D > t : D < -t;
            if (pair)
                y[k] = y[k + 1] = (int16_t)((a + b) / 2);
            else
                y[k + 1] = (int16_t)((a + 6 * b + cc) / 8);
        }
    }
    Samples out{};
    for (int k = 0; k < 2048; k++) {
        int v = y[k];
        int tt = v <= 512 ? v - q / 2 - 512 : v + q / 2 - 512;
        out[k] = (uint8_t)std::clamp(tt / q + 128, 0, 255);
    }
    return out;
}

// ---- run-length mode ------------------------------------------------------------

struct CoefCase {
    const char* name;
    bool runLength;
    std::string bits;
    std::vector<std::pair<int, int>> values;
};
class CodecCoefficients : public testing::TestWithParam<CoefCase> {};
TEST_P(CodecCoefficients, ReadTheValuesAtTheirPositionsAndZerosElsewhere)
{
    Coefficients c = Read(Frame(GetParam().runLength, 1, 1, 70, 0, GetParam().bits));
    for (auto [index, value] : GetParam().values)
        EXPECT_EQ(c[index], value) << index;
    EXPECT_EQ(std::count(c.begin(), c.end(), 0), 2048 - static_cast<long>(GetParam().values.size()));
}
INSTANTIATE_TEST_SUITE_P(
    Cases, CodecCoefficients,
    testing::Values(
        // n = 2, b = 1: "1 0" is +1, "01 1" is -2; then 2046 zeros end the frame.
        CoefCase{
            "run_count_starts_at_one", true, Field(2, 11) + "1" + "10" + "011" + Field(2046, 11), {{0, 1}, {1, -2}}},
        CoefCase{"run_escape_after_eleven_zeros",
                 true,
                 Field(1, 11) + "1" + "00000000000" + Field(0x805, 12) + Field(2047, 11),
                 {{0, 5}}},
        // Round 1: no values, 1026 zeros: 1022 remain, below 1023, so the fields
        // become 10 bits. Round 2: one value (-1) and 1021 zeros in 10-bit fields.
        CoefCase{"width_shrinks_below_half_the_window",
                 true,
                 Field(0, 11) + "0" + Field(1026, 11) + Field(1, 10) + "0" + "011" + Field(1021, 10),
                 {{1026, -1}}},
        // 1800 zeros leave 248: still only one step (to 10 bits) in this round.
        CoefCase{"width_shrinks_one_step_per_round",
                 true,
                 Field(0, 11) + "0" + Field(1800, 11) + Field(1, 10) + "1" + "10" + Field(0, 10) + Field(1, 9) + "1" +
                     "11" + Field(245, 9),
                 {{1800, 1}, {1801, -1}}},
        // A value run that would pass 2048 ends the frame before any of its values.
        CoefCase{"value_run_past_the_end",
                 true,
                 Field(3, 11) + "1" + "10" + "10" + "10" + Field(2040, 11) + Field(10, 10) + "1" + std::string(20, '1'),
                 {{0, 1}, {1, 1}, {2, 1}}},
        // A zero run past the end leaves the rest 0 even though more bits follow.
        CoefCase{"zero_run_past_the_end",
                 true,
                 Field(1, 11) + "1" + "10" + Field(2047, 11) + Field(1, 11) + "1" + "10",
                 {{0, 1}}},
        // Plain mode: one value of each length class, both escape extremes.
        CoefCase{"plain_values_and_escapes",
                 false,
                 "011 00011 000000000000 000000000000 000000000000 111111111111 00000000001 0 1 010",
                 {{0, -1}, {1, -3}, {2, -2048}, {3, 2047}, {4, 10}, {6, 1}}},
        // Plain mode: +1, +1, then an escape cut short is dropped.
        CoefCase{"data_ends_inside_a_value", false, "010 010 000000000000 1010", {{0, 1}, {1, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- against the literal model --------------------------------------------------

TEST(CodecDecoder, MatchesTheLiteralModelOnRandomPayloads)
{
    std::mt19937 rng(20261206);
    std::uniform_int_distribution<int> byte(0, 255), len(0, 900), biasPick(0, 3);
    const int32_t thresholds[] = {2, 1, 0, -1, -3, 17, 65536, -4096};
    for (int round = 0; round < 1500; ++round) {
        std::vector<uint8_t> p(len(rng));
        // Sparse bytes make long zero counts and runs likely, dense bytes escapes.
        const int bias = biasPick(rng);
        for (auto& b : p) {
            b = static_cast<uint8_t>(byte(rng));
            if (bias == 1)
                b &= static_cast<uint8_t>(byte(rng));
            if (bias == 2)
                b |= static_cast<uint8_t>(byte(rng));
        }
        if (p.size() > 0 && round % 3 == 0)
            p[0] &= 0x87; // small scales
        const bool filter = round % 2 == 1;
        const int32_t t = thresholds[round % 8];
        ASSERT_EQ(Decode(p, filter, t), ModelDecode(p, filter, t)) << "round " << round;
    }
}

TEST(CodecDecoder, MatchesTheLiteralModelOnDenseSmallCoefficients)
{
    // Realistic frames: many small values in every level, both modes and masks.
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::string bits;
        std::geometric_distribution<int> mag(0.5);
        for (int k = 0; k < 2048; ++k) {
            int z = std::min(mag(rng), 11);
            bits += z == 0 ? "1" : std::string(z, '0') + "1" + (rng() & 1 ? "1" : "0");
        }
        auto p = Frame(false, 1 + round % 5, 1 + rng() % 511, rng() % 128, static_cast<uint16_t>(rng()), bits);
        ASSERT_EQ(Decode(p, round % 2, 3), ModelDecode(p, round % 2, 3)) << round;
    }
}

// ---- threshold keys -------------------------------------------------------------

struct KeyCase {
    int32_t start;
    std::vector<ThresholdKey> keys;
    int32_t value;
    std::string title;
};
class CodecThreshold : public testing::TestWithParam<KeyCase> {};
TEST_P(CodecThreshold, KeysChangeTheThresholdAndTheTitleReadsItOut)
{
    FilterThreshold t;
    if (GetParam().start != 2)
        t.Set(GetParam().start); // a fresh threshold starts at 2
    for (ThresholdKey k : GetParam().keys)
        t.Adjust(k);
    EXPECT_EQ(t.Value(), GetParam().value);
    EXPECT_EQ(t.Title(), GetParam().title);
}
using K = ThresholdKey;
INSTANTIATE_TEST_SUITE_P(Cases, CodecThreshold,
                         testing::Values(KeyCase{2, {}, 2, "filtering > 2"}, KeyCase{2, {K::Left}, 1, "filtering > 1"},
                                         KeyCase{2, {K::Left, K::Left, K::Left}, 1, "filtering > 1"},
                                         KeyCase{2, {K::Up}, -2, "filtering < 2"},
                                         KeyCase{2, {K::Up, K::Left, K::Left}, -1, "filtering < 1"},
                                         KeyCase{7, {K::Left}, 3, "filtering > 3"},
                                         KeyCase{-7, {K::Left}, -3, "filtering < 3"},
                                         KeyCase{32768, {K::Right, K::Right}, 65536, "filtering > 65536"},
                                         KeyCase{-40000, {K::Right}, -80000, "filtering < 80000"},
                                         KeyCase{2, {K::Right, K::Right, K::Up}, -8, "filtering < 8"}));

} // namespace
} // namespace lumetra::radio
