#include "radio/codec/wavelet_frame.h"

namespace lumetra::radio {

FrameHeader ParseFrameHeader(std::span<const uint8_t> payload)
{
    std::array<uint8_t, kFrameHeaderBytes> b{};
    for (std::size_t i = 0; i < b.size() && i < payload.size(); ++i)
        b[i] = payload[i];
    FrameHeader h;
    h.runLength = (b[0] & 0x80) != 0;
    h.scale = b[0] & 0x7F;
    h.baseStep = b[1] + 256 * (b[2] >> 7);
    h.ratioPercent = b[2] & 0x7F;
    h.liftingMask = static_cast<uint16_t>(b[3] + 256 * b[4]);
    return h;
}

void WriteFrameHeader(const FrameHeader& h, std::span<uint8_t, kFrameHeaderBytes> out)
{
    out[0] = static_cast<uint8_t>((h.runLength ? 0x80 : 0) | (h.scale & 0x7F));
    out[1] = static_cast<uint8_t>(h.baseStep & 0xFF);
    out[2] = static_cast<uint8_t>(((h.baseStep >> 8) & 1) << 7 | (h.ratioPercent & 0x7F));
    out[3] = static_cast<uint8_t>(h.liftingMask & 0xFF);
    out[4] = static_cast<uint8_t>(h.liftingMask >> 8);
}

std::array<int32_t, kStepCount> LevelSteps(int baseStep, int ratioPercent)
{
    std::array<int32_t, kStepCount> steps{};
    steps[0] = baseStep;
    for (int level = 1; level < kStepCount; ++level) {
        const int32_t before = steps[level - 1];
        int32_t next = (before * ratioPercent + 50) / 100;
        if (next == before || next < 1)
            next = 1;
        steps[level] = next;
    }
    return steps;
}

} // namespace lumetra::radio
