// The wavelet decoder against a literal, unoptimised model of the frame format
// (dequantisation, lifting, smoothing and output) on random payloads.

#include "radio/codec/filter_threshold.h"
#include "radio/codec/wavelet_decoder.h"
#include "radio/codec/wavelet_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <random>
#include <vector>

namespace lumetra::radio {
namespace {

using Samples = std::array<uint8_t, kFrameSamples>;

// ---- literal model ------------------------------------------------------------

Samples ModelDecode(const std::vector<uint8_t>& bytesIn, bool filter, int t)
{
    std::vector<uint8_t> bytes = bytesIn;
    bytes.resize(std::max<size_t>(bytes.size(), 5)); // the decoder reads a short header as zeros
    Coefficients c{};
    ReadCoefficients(bytesIn, c); // checked against the encoder's writer
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
        Samples decoded{};
        DecodeFrame(p, filter, t, decoded);
        ASSERT_EQ(decoded, ModelDecode(p, filter, t)) << "round " << round;
    }
}

// ---- threshold keys -------------------------------------------------------------

TEST(CodecThreshold, KeysChangeTheThresholdAndTheTitleReadsItOut)
{
    using K = ThresholdKey;
    for (auto [start, keys, value, title] : {std::tuple{2, std::vector<K>{}, 2, "filtering > 2"},
                                             {2, {K::Left}, 1, "filtering > 1"},
                                             {2, {K::Left, K::Left, K::Left}, 1, "filtering > 1"},
                                             {2, {K::Up}, -2, "filtering < 2"},
                                             {2, {K::Up, K::Left, K::Left}, -1, "filtering < 1"},
                                             {7, {K::Left}, 3, "filtering > 3"},
                                             {-7, {K::Left}, -3, "filtering < 3"},
                                             {32768, {K::Right, K::Right}, 65536, "filtering > 65536"},
                                             {-40000, {K::Right}, -80000, "filtering < 80000"},
                                             {2, {K::Right, K::Right, K::Up}, -8, "filtering < 8"}}) {
        FilterThreshold t;
        if (start != 2)
            t.Set(start); // a fresh threshold starts at 2
        for (ThresholdKey k : keys)
            t.Adjust(k);
        EXPECT_EQ(t.Value(), value) << title;
        EXPECT_EQ(t.Title(), title);
    }
}

} // namespace
} // namespace lumetra::radio
