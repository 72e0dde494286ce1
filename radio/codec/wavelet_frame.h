#pragma once
// Layout of one wavelet-coded audio frame: 2048 mono samples, a 5-byte header and
// an entropy-coded list of 2048 transform coefficients. Shared by the decoder and
// the encoder so both read the header and derive the per-level steps alike.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace lumetra::radio {

inline constexpr int kFrameSamples = 2048;
inline constexpr std::size_t kFrameHeaderBytes = 5;
inline constexpr int kTransformLevels = 11;             // strides 2, 4, ..., 2048
inline constexpr int kStepCount = kTransformLevels + 1; // one more for y[0]
inline constexpr int kBoundaryValue = 512;              // y[2048] and the zero line
inline constexpr int kPieceSamples = 256;               // fine levels never predict across these
inline constexpr int kMaxBaseStep = 511;                // 9 bits
inline constexpr int kMaxScale = 127;                   // 7 bits
inline constexpr int kMaxRatioPercent = 127;            // 7 bits
inline constexpr int kEscapeZeros = 12;                 // zero count that introduces a 12-bit field
inline constexpr int kEscapeBits = 12;
inline constexpr int kEscapeOffset = 2048;
inline constexpr int kMinCoefficient = -2048;
inline constexpr int kMaxCoefficient = 2047;
inline constexpr int kMaxSignedZeros = 11; // largest |value| with a sign-bit code
inline constexpr int kRunFieldBits = 11;   // initial run-length field width

// Which integer lifting step one level of the transform uses (one mask bit each).
enum class LiftingStep : uint8_t {
    SumDifference = 0, // average and difference, with a slope prediction
    Interpolating = 1, // keep the even sample, predict the odd one
};

struct FrameHeader {
    bool runLength = false;
    int scale = 1;            // Q as coded; 0 is taken as 1 by Scale()
    int baseStep = 0;         // 0..511
    int ratioPercent = 0;     // 0..127
    uint16_t liftingMask = 0; // bit j for stride 2048 >> j

    int Scale() const { return scale == 0 ? 1 : scale; }
};

// Reads the header; bytes missing from a short payload count as zero.
FrameHeader ParseFrameHeader(std::span<const uint8_t> payload);
// Writes the 5 header bytes (fields are masked to their widths).
void WriteFrameHeader(const FrameHeader& header, std::span<uint8_t, kFrameHeaderBytes> out);

// Quantiser step of each level: [0] for stride 2 up to [10] for stride 2048, [11] for y[0].
std::array<int32_t, kStepCount> LevelSteps(int baseStep, int ratioPercent);

// Index of the mask bit for a stride: 0 for 2048, 10 for 2.
constexpr int MaskBitForStride(int stride)
{
    int bit = 11;
    while (stride > 1) {
        stride >>= 1;
        --bit;
    }
    return bit;
}

constexpr LiftingStep LiftingStepFor(uint16_t liftingMask, int stride)
{
    return ((liftingMask >> MaskBitForStride(stride)) & 1) ? LiftingStep::Interpolating : LiftingStep::SumDifference;
}

} // namespace lumetra::radio
