#include "radio/codec/wavelet_transform.h"

namespace lumetra::radio {

namespace {

int32_t EstimateAt(const TransformArray& y, int i, int s)
{
    return InterpolationEstimate(i, s, CoarseAt(y, i - s), y[i], CoarseAt(y, i + s), CoarseAt(y, i + 2 * s));
}

} // namespace

void InverseLevel(TransformArray& y, int s, LiftingStep step)
{
    const int half = s / 2;
    if (step == LiftingStep::Interpolating) {
        // The estimate reads coarse samples only, which this level leaves alone.
        for (int i = 0; i < kFrameSamples; i += s)
            y[i + half] = static_cast<int16_t>(EstimateAt(y, i, s) - y[i + half]);
        return;
    }
    // Each pair needs the old coarse sample to its left, which the previous pair
    // has already overwritten: carry it along.
    int32_t oldLeft = kBoundaryValue;
    for (int i = 0; i < kFrameSamples; i += s) {
        const int32_t a = y[i];
        const int32_t d = y[i + half];
        const int32_t p = SumDifferencePrediction(i, s, oldLeft, y[i + s]);
        y[i] = static_cast<int16_t>((2 * a - p + d) / 2);
        y[i + half] = static_cast<int16_t>((2 * a - d + p) / 2);
        oldLeft = a;
    }
}

void ForwardLevel(TransformArray& y, int s, LiftingStep step)
{
    const int half = s / 2;
    if (step == LiftingStep::Interpolating) {
        for (int i = 0; i < kFrameSamples; i += s)
            y[i + half] = static_cast<int16_t>(EstimateAt(y, i, s) - y[i + half]);
        return;
    }
    // First the coarse samples (each from its own pair), leaving the plain
    // difference in the detail slot; then add the prediction from the coarse ones.
    for (int i = 0; i < kFrameSamples; i += s) {
        const int32_t x0 = y[i];
        const int32_t x1 = y[i + half];
        const int32_t sum = x0 + x1;
        // The inverse halves toward zero; round the mean away from the side it
        // truncates to so that both samples come back.
        const int32_t a = (x0 >= 0 && x1 >= 0)   ? (sum + 1) >> 1
                          : (x0 <= 0 && x1 <= 0) ? sum >> 1
                                                 : (sum >= 0 ? (sum + 1) >> 1 : sum >> 1);
        y[i] = static_cast<int16_t>(a);
        y[i + half] = static_cast<int16_t>(x0 - x1);
    }
    for (int i = 0; i < kFrameSamples; i += s) {
        const int32_t p = SumDifferencePrediction(i, s, CoarseAt(y, i - s), y[i + s]);
        y[i + half] = static_cast<int16_t>(y[i + half] + p);
    }
}

void InverseTransform(TransformArray& y, uint16_t liftingMask)
{
    y[kFrameSamples] = kBoundaryValue;
    for (int s = kFrameSamples; s >= 2; s /= 2)
        InverseLevel(y, s, LiftingStepFor(liftingMask, s));
}

void ForwardTransform(TransformArray& y, uint16_t liftingMask)
{
    y[kFrameSamples] = kBoundaryValue;
    for (int s = 2; s <= kFrameSamples; s *= 2)
        ForwardLevel(y, s, LiftingStepFor(liftingMask, s));
}

} // namespace lumetra::radio
