#include "radio/codec/wavelet_decoder.h"

#include "radio/codec/frame_bit_reader.h"
#include "radio/codec/wavelet_transform.h"

#include <algorithm>
#include <cstdlib>

namespace lumetra::radio {

namespace {

// One value of the value code; the zero count starts at startCount (1 inside a
// run of values known to be non-zero). False when the data ends.
bool ReadValue(FrameBitReader& bits, int startCount, int16_t& value)
{
    int zeros = 0;
    if (!bits.CountZeros(startCount, kEscapeZeros, zeros))
        return false;
    uint32_t field = 0;
    if (zeros == 0) {
        value = 0;
    } else if (zeros < kEscapeZeros) {
        if (!bits.Read(1, field))
            return false;
        value = static_cast<int16_t>(field ? -zeros : zeros);
    } else {
        if (!bits.Read(kEscapeBits, field))
            return false;
        value = static_cast<int16_t>(static_cast<int32_t>(field) - kEscapeOffset);
    }
    return true;
}

void ReadPlain(FrameBitReader& bits, Coefficients& c)
{
    for (int p = 0; p < kFrameSamples; ++p)
        if (!ReadValue(bits, 0, c[p]))
            return;
}

void ReadRunLength(FrameBitReader& bits, Coefficients& c)
{
    int width = kRunFieldBits;
    int window = kFrameSamples;
    int p = 0;
    for (;;) {
        uint32_t n = 0, nonZero = 0, zeros = 0;
        if (!bits.Read(width, n) || !bits.Read(1, nonZero))
            return;
        if (p + static_cast<int>(n) > kFrameSamples)
            return;
        for (uint32_t k = 0; k < n; ++k, ++p)
            if (!ReadValue(bits, static_cast<int>(nonZero), c[p]))
                return;
        if (p == kFrameSamples)
            return;
        if (!bits.Read(width, zeros))
            return;
        if (p + static_cast<int>(zeros) > kFrameSamples)
            return;
        p += static_cast<int>(zeros); // already 0
        if (kFrameSamples - p < window / 2 - 1 && width >= 3) {
            --width;
            window /= 2;
        }
        if (p == kFrameSamples)
            return;
    }
}

// Level L (stride 2^(L+1)) takes the next coefficients from c[2047] downwards into
// its odd multiples of half the stride, in increasing position order.
void Dequantise(const Coefficients& c, const std::array<int32_t, kStepCount>& steps, TransformArray& y)
{
    int next = kFrameSamples - 1;
    for (int level = 0; level < kTransformLevels; ++level) {
        const int s = 2 << level;
        for (int pos = s / 2; pos < kFrameSamples; pos += s)
            y[pos] = static_cast<int16_t>(c[next--] * steps[level]);
    }
    y[0] = static_cast<int16_t>(c[0] * steps[kTransformLevels] + kBoundaryValue);
    y[kFrameSamples] = kBoundaryValue;
}

void Smooth(TransformArray& y, int32_t threshold)
{
    std::array<int16_t, kFrameSamples> x;
    std::copy_n(y.begin(), kFrameSamples, x.begin());
    for (int k = 0; k + 2 < kFrameSamples; k += 2) {
        const int32_t a = x[k], b = x[k + 1], c = x[k + 2];
        const int32_t jump = std::abs(b - (a + c) / 2);
        const bool step = threshold >= 1 ? jump > threshold : jump < -static_cast<int64_t>(threshold);
        if (step) {
            y[k] = y[k + 1] = static_cast<int16_t>((a + b) / 2);
        } else {
            y[k + 1] = static_cast<int16_t>((a + 6 * b + c) / 8);
        }
    }
}

} // namespace

void ReadCoefficients(std::span<const uint8_t> payload, Coefficients& c)
{
    c.fill(0);
    const FrameHeader header = ParseFrameHeader(payload);
    const auto stream =
        payload.size() > kFrameHeaderBytes ? payload.subspan(kFrameHeaderBytes) : std::span<const uint8_t>{};
    FrameBitReader bits(stream);
    if (header.runLength) {
        ReadRunLength(bits, c);
    } else {
        ReadPlain(bits, c);
    }
}

void DecodeFrame(std::span<const uint8_t> payload, bool filterOn, int32_t threshold,
                 std::span<uint8_t, kFrameSamples> samples)
{
    const FrameHeader header = ParseFrameHeader(payload);
    Coefficients c;
    ReadCoefficients(payload, c);

    TransformArray y;
    Dequantise(c, LevelSteps(header.baseStep, header.ratioPercent), y);
    InverseTransform(y, header.liftingMask);
    if (filterOn)
        Smooth(y, threshold);

    const int32_t q = header.Scale();
    for (int k = 0; k < kFrameSamples; ++k) {
        const int32_t v = y[k];
        const int32_t t = v <= kBoundaryValue ? v - q / 2 - kBoundaryValue : v + q / 2 - kBoundaryValue;
        samples[k] = static_cast<uint8_t>(std::clamp(t / q + 128, 0, 255));
    }
}

} // namespace lumetra::radio
