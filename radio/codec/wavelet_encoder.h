#pragma once
// Encodes 2048 mono 16-bit samples into one wavelet frame that the decoder turns
// back into 8-bit samples. Per frame, for a few choices of lifting steps and of
// step ratio, it searches the smallest base step whose frame fits the byte budget,
// quantising each level against what the decoder will have rebuilt so far (closed
// loop), and keeps the choice that rebuilds the frame best, coded in the shorter of
// the plain and run-length forms. Owns all its scratch, so
// encoding allocates nothing.

#include "radio/codec/wavelet_decoder.h"
#include "radio/codec/wavelet_frame.h"
#include "radio/codec/wavelet_transform.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lumetra::radio {

// A silent frame takes 10 bytes; no budget goes below this.
inline constexpr std::size_t kMinFrameBytes = 16;

// In a choice, the mask whose levels each have the smaller details.
inline constexpr uint16_t kSmallestDetailsMask = 0xFFFF;

struct EncoderChoice {
    uint16_t liftingMask = kSmallestDetailsMask;
    int ratioPercent = 100;
};

struct EncoderSettings {
    std::size_t maxPayloadBytes = 5120; // the frame, header included
    int scale = 4;                      // Q: internal units per output step
    // Lifting masks and step ratios to try; each frame takes the pair that
    // rebuilds it best within the budget. Sum-and-difference levels spread a
    // coarse error over many samples and want finer coarse steps (ratio below
    // 100); interpolating levels keep errors local and want coarser ones.
    std::vector<EncoderChoice> choices{
        {kSmallestDetailsMask, 110}, {0x7FF, 110}, {0x7E0, 110}, {0x000, 70}, {0x000, 80}, {0x7FF, 120}};
    // Rate weight in squared steps per bit: a value is rounded toward zero when
    // that saves a bit for less than this much added squared error.
    double rateWeight = 0.2;
};

struct EncodedFrameInfo {
    std::size_t bytes = 0;
    int baseStep = 0;
    int ratioPercent = 0;
    uint16_t liftingMask = 0;
    bool runLength = false;
};

class WaveletEncoder {
public:
    explicit WaveletEncoder(EncoderSettings settings = {});

    const EncoderSettings& Settings() const { return m_settings; }
    void SetSettings(const EncoderSettings& settings)
    {
        m_settings = settings;
        m_lastBase.clear();
    }

    // Writes the frame into out; the budget is maxPayloadBytes, at most out's size
    // and at least kMinFrameBytes. Returns its size and parameters (size 0 when out
    // is shorter than kMinFrameBytes).
    EncodedFrameInfo Encode(std::span<const int16_t, kFrameSamples> pcm, std::span<uint8_t> out);

private:
    void Analyse(uint16_t liftingMask);
    uint16_t ChooseMask();
    // Quantises every level for the given steps into m_coefficients.
    void Quantise(const std::array<int32_t, kStepCount>& steps, uint16_t liftingMask);
    struct LevelQuantiser {
        int32_t step = 0;
        double inverse = 0;
        int32_t largest = 0;
        double rateWeight = 0;
        int32_t operator()(int32_t value) const;
    };
    LevelQuantiser QuantiserFor(int32_t step) const;
    std::size_t CodedBytes(bool& runLength) const;
    int64_t Distortion() const;
    // Smallest base step that fits the budget at this ratio, searched from guess;
    // 0 when none does.
    int FitBaseStep(int ratio, uint16_t mask, std::size_t budget, int guess);

    EncoderSettings m_settings;
    TransformArray m_input{};
    // m_levels[L]: the signal before the forward step at stride 2^(L+1); [11]: after all.
    std::array<TransformArray, kTransformLevels + 1> m_levels{};
    TransformArray m_rebuilt{};
    Coefficients m_coefficients{};
    std::vector<int> m_lastBase; // per choice, the step of the previous frame
};

} // namespace lumetra::radio
