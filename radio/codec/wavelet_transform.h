#pragma once
// The 11-level integer lifting transform in its in-place layout: at stride s the
// coarse samples sit at multiples of s and the details at odd multiples of s/2.
// y[2048] is a fixed boundary value. The inverse is what a decoder runs; the
// forward step undoes each inverse step exactly whenever the two samples of a
// pair have the same sign (always so for the offset signals a frame carries).

#include "radio/codec/wavelet_frame.h"

#include <array>
#include <cstdint>

namespace lumetra::radio {

using TransformArray = std::array<int16_t, kFrameSamples + 1>;

// Prediction P of the sum-and-difference step for the pair at coarse position i.
// l1 and r1 are the coarse neighbours at i - s and i + s (l1 unused for i = 0).
constexpr int32_t SumDifferencePrediction(int i, int s, int32_t l1, int32_t r1)
{
    if ((i - s) % kPieceSamples == 0 || (i + s) % kPieceSamples == 0)
        return 0;
    const int32_t left = (i == 0) ? kBoundaryValue : l1;
    return (r1 <= left) ? (r1 - left - 2) / 4 : (r1 - left + 2) / 4;
}

// Estimate E of the odd sample of the interpolating step from the coarse samples
// l1 = y[i - s], a = y[i], r1 = y[i + s], r2 = y[i + 2s].
constexpr int32_t InterpolationEstimate(int i, int s, int32_t l1, int32_t a, int32_t r1, int32_t r2)
{
    if ((i + s) % kPieceSamples == 0)
        return a;
    const bool pieceEndsNext = (i + 2 * s) % kPieceSamples == 0;
    if (i == 0 || i >= kFrameSamples - s || pieceEndsNext) {
        if (pieceEndsNext)
            return i == 0 ? (r1 + a) >> 1 : (3 * (r1 + 2 * a) - l1) >> 3;
        return (3 * (a + 2 * r1) - r2) >> 3;
    }
    return (9 * (r1 + a) - r2 - l1) >> 4;
}

// Coarse sample at pos; positions outside 0..2048 read as the boundary value.
inline int32_t CoarseAt(const TransformArray& y, int pos)
{
    return (pos >= 0 && pos <= kFrameSamples) ? y[pos] : kBoundaryValue;
}

// One inverse level: coarse + details at stride s become samples at stride s/2.
void InverseLevel(TransformArray& y, int s, LiftingStep step);
// One forward level: samples at stride s/2 become coarse + details at stride s.
void ForwardLevel(TransformArray& y, int s, LiftingStep step);

// All levels, s = 2048 down to 2 (inverse) or 2 up to 2048 (forward); mask bit j
// chooses the step for s = 2048 >> j.
void InverseTransform(TransformArray& y, uint16_t liftingMask);
void ForwardTransform(TransformArray& y, uint16_t liftingMask);

} // namespace lumetra::radio
