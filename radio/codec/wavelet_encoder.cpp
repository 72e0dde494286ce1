#include "radio/codec/wavelet_encoder.h"

#include "radio/codec/coefficient_coder.h"
#include "radio/codec/frame_bit_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace lumetra::radio {

namespace {

// First coefficient index of a level; its positions take c[first], c[first - 1], ...
constexpr int FirstIndexOfLevel(int level)
{
    return (kFrameSamples >> level) - 1;
}

int64_t DetailCost(const TransformArray& y, int s)
{
    int64_t cost = 0;
    for (int pos = s / 2; pos < kFrameSamples; pos += s)
        cost += std::abs(y[pos]);
    return cost;
}

} // namespace

WaveletEncoder::WaveletEncoder(EncoderSettings settings) : m_settings(settings) {}

void WaveletEncoder::Analyse(uint16_t liftingMask)
{
    TransformArray y = m_input;
    for (int level = 0; level < kTransformLevels; ++level) {
        m_levels[level] = y;
        const int s = 2 << level;
        ForwardLevel(y, s, LiftingStepFor(liftingMask, s));
    }
    m_levels[kTransformLevels] = y;
}

// Level by level from the finest, keeps the step whose details are smaller.
uint16_t WaveletEncoder::ChooseMask()
{
    uint16_t mask = 0;
    TransformArray y = m_input;
    for (int level = 0; level < kTransformLevels; ++level) {
        const int s = 2 << level;
        TransformArray sum = y, interp = y;
        ForwardLevel(sum, s, LiftingStep::SumDifference);
        ForwardLevel(interp, s, LiftingStep::Interpolating);
        if (DetailCost(interp, s) < DetailCost(sum, s)) {
            mask = static_cast<uint16_t>(mask | (1u << MaskBitForStride(s)));
            y = interp;
        } else {
            y = sum;
        }
    }
    return mask;
}

WaveletEncoder::LevelQuantiser WaveletEncoder::QuantiserFor(int32_t step) const
{
    LevelQuantiser q;
    q.step = step;
    q.inverse = step > 0 ? 1.0 / step : 0.0;
    // Keep within the code's range and the 16-bit product the decoder forms.
    q.largest = step > 0 ? std::min(kMaxCoefficient, 32767 / step) : 0;
    q.rateWeight = m_settings.rateWeight;
    return q;
}

// Each step away from zero costs one more bit, the first one two; values past the
// signed codes all cost the same escape and are simply rounded. Rounding down from
// q adds (x - q + 1)^2 - (x - q)^2 = 2x - 2q + 1 squared steps of error, worth it
// when that is below the rate weight times the bits saved.
int32_t WaveletEncoder::LevelQuantiser::operator()(int32_t value) const
{
    const double x = std::abs(value) * inverse;
    auto q = static_cast<int32_t>(x + 0.5);
    if (q >= 1 && q <= kMaxSignedZeros) {
        const double bitsSaved = q == 1 ? 2.0 : 1.0;
        if (2 * x < 2 * q - 1 + rateWeight * bitsSaved)
            --q;
    }
    q = std::min(q, largest);
    return value < 0 ? -q : q;
}

void WaveletEncoder::Quantise(const std::array<int32_t, kStepCount>& steps, uint16_t liftingMask)
{
    const TransformArray& top = m_levels[kTransformLevels];
    const int32_t c0 = QuantiserFor(steps[kTransformLevels])(top[0] - kBoundaryValue);
    m_coefficients[0] = static_cast<int16_t>(c0);
    m_rebuilt[0] = static_cast<int16_t>(c0 * steps[kTransformLevels] + kBoundaryValue);
    m_rebuilt[kFrameSamples] = kBoundaryValue;

    for (int level = kTransformLevels - 1; level >= 0; --level) {
        const int s = 2 << level;
        const int half = s / 2;
        const LiftingStep step = LiftingStepFor(liftingMask, s);
        const TransformArray& target = m_levels[level];
        const int32_t q = steps[level];
        const LevelQuantiser quantise = QuantiserFor(q);
        int index = FirstIndexOfLevel(level);
        for (int i = 0; i < kFrameSamples; i += s, --index) {
            // The detail that would bring the decoder's next level to the target,
            // given the coarse samples it really has.
            int32_t detail;
            if (step == LiftingStep::Interpolating) {
                const int32_t e = InterpolationEstimate(i, s, CoarseAt(m_rebuilt, i - s), m_rebuilt[i],
                                                        CoarseAt(m_rebuilt, i + s), CoarseAt(m_rebuilt, i + 2 * s));
                detail = e - target[i + half];
            } else {
                // Coarse samples stay as they are until the level is rebuilt below.
                const int32_t p = SumDifferencePrediction(i, s, CoarseAt(m_rebuilt, i - s), m_rebuilt[i + s]);
                detail = target[i] - target[i + half] + p;
            }
            const int32_t c = quantise(detail);
            m_coefficients[index] = static_cast<int16_t>(c);
            m_rebuilt[i + half] = static_cast<int16_t>(c * q);
        }
        InverseLevel(m_rebuilt, s, step);
    }
}

std::size_t WaveletEncoder::CodedBytes(bool& runLength) const
{
    const std::size_t plain = PlainCodeBits(m_coefficients);
    const std::size_t runs = RunLengthCodeBits(m_coefficients);
    runLength = runs < plain;
    return kFrameHeaderBytes + (std::min(plain, runs) + 7) / 8;
}

int64_t WaveletEncoder::Distortion() const
{
    int64_t sum = 0;
    for (int k = 0; k < kFrameSamples; ++k) {
        const int64_t e = m_rebuilt[k] - m_input[k];
        sum += e * e;
    }
    return sum;
}

int WaveletEncoder::FitBaseStep(int ratio, uint16_t mask, std::size_t budget, int guess)
{
    bool runLength = false;
    int evaluated = 0;
    bool evaluatedFits = false;
    auto fits = [&](int base) {
        Quantise(LevelSteps(base, ratio), mask);
        evaluated = base;
        evaluatedFits = CodedBytes(runLength) <= budget;
        return evaluatedFits;
    };
    // The size shrinks as the step grows, nearly always. Bracket the answer from
    // the previous frame's step (neighbouring frames need similar ones), then halve.
    int low = 1, high = kMaxBaseStep; // answer in [low, high] if any
    guess = std::clamp(guess, 1, kMaxBaseStep);
    if (fits(guess)) {
        high = guess;
        for (int span = 1; high > 1; span *= 2) {
            const int probe = std::max(1, high - span);
            if (!fits(probe)) {
                low = probe + 1;
                break;
            }
            high = probe;
        }
    } else {
        low = guess + 1;
        for (int span = 1; low <= kMaxBaseStep; span *= 2) {
            const int probe = std::min(kMaxBaseStep, low + span);
            if (fits(probe)) {
                high = probe;
                break;
            }
            low = probe + 1;
        }
        if (low > kMaxBaseStep)
            return 0;
    }
    while (low < high) {
        const int mid = (low + high) / 2;
        if (fits(mid))
            high = mid;
        else
            low = mid + 1;
    }
    // Leave the coefficients and the rebuilt frame of the answer behind.
    if (evaluated == low)
        return evaluatedFits ? low : 0;
    return fits(low) ? low : 0;
}

EncodedFrameInfo WaveletEncoder::Encode(std::span<const int16_t, kFrameSamples> pcm, std::span<uint8_t> out)
{
    const int q = std::clamp(m_settings.scale, 1, 4); // keeps every sample non-negative
    if (out.size() < kMinFrameBytes)
        return {};
    const std::size_t budget = std::clamp(m_settings.maxPayloadBytes, kMinFrameBytes, out.size());

    for (int k = 0; k < kFrameSamples; ++k) {
        // 16-bit to q units per 8-bit step, rounded to nearest.
        const int32_t v = (pcm[k] * q + (pcm[k] >= 0 ? 128 : -128)) / 256;
        m_input[k] = static_cast<int16_t>(std::clamp(v, -128 * q, 127 * q) + kBoundaryValue);
    }
    m_input[kFrameSamples] = kBoundaryValue;

    // Candidate lifting steps and step ratios; the one that rebuilds best is kept.
    const uint16_t chosen = ChooseMask();
    uint16_t mask = chosen;
    int bestRatio = -1, bestBase = 0;
    int64_t bestDistortion = 0;
    m_lastBase.resize(m_settings.choices.size(), 32);
    uint16_t analysed = 0xFFFF;
    for (std::size_t k = 0; k < m_settings.choices.size(); ++k) {
        const EncoderChoice& choice = m_settings.choices[k];
        const uint16_t m = choice.liftingMask == kSmallestDetailsMask ? chosen : (choice.liftingMask & 0x7FF);
        if (m != analysed) {
            Analyse(m);
            analysed = m;
        }
        const int ratio = std::clamp(choice.ratioPercent, 0, kMaxRatioPercent);
        const int base = FitBaseStep(ratio, m, budget, m_lastBase[k]);
        if (base == 0)
            continue;
        m_lastBase[k] = base;
        const int64_t distortion = Distortion();
        if (bestRatio < 0 || distortion < bestDistortion) {
            mask = m;
            bestRatio = ratio;
            bestBase = base;
            bestDistortion = distortion;
        }
    }
    if (mask != analysed)
        Analyse(mask);

    bool runLength = false;
    std::size_t bytes = 0;
    if (bestRatio >= 0) {
        Quantise(LevelSteps(bestBase, bestRatio), mask);
        bytes = CodedBytes(runLength);
    } else {
        // Even the coarsest steps are too fine for this budget: send silence.
        bestBase = kMaxBaseStep;
        bestRatio = 100;
        m_coefficients.fill(0);
        bytes = CodedBytes(runLength);
    }
    const int base = bestBase;
    const int ratio = bestRatio;

    FrameHeader header;
    header.runLength = runLength;
    header.scale = q;
    header.baseStep = base;
    header.ratioPercent = ratio;
    header.liftingMask = mask;
    std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(bytes), 0);
    WriteFrameHeader(header, out.first<kFrameHeaderBytes>());
    FrameBitWriter writer(out.subspan(kFrameHeaderBytes));
    if (runLength)
        WriteRunLengthCode(m_coefficients, writer);
    else
        WritePlainCode(m_coefficients, writer);
    return {bytes, base, ratio, mask, runLength};
}

} // namespace lumetra::radio
