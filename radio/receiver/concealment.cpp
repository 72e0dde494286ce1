#include "radio/receiver/concealment.h"

#include <algorithm>
#include <cstring>

namespace lumetra::radio {

int ConcealBlock(std::span<uint8_t, kBlockSamples> block, const std::array<uint32_t, 8>& received,
                 ConcealmentMemory& memory)
{
    auto sub = [&](int k) { return block.data() + k * kSubBlockSamples; };
    auto got = [&](int k) { return received[size_t(k & 7)] != 0; };
    int lost = 0;
    for (int k = 0; k < kSubBlocksPerBlock; ++k) {
        if (got(k))
            continue;
        ++lost;
        uint8_t* out = sub(k);
        const uint8_t* before = nullptr;
        const uint8_t* after = nullptr;
        if (k == 0) {
            before = memory.valid ? memory.samples.data() : nullptr;
            after = got(1) ? sub(1) : nullptr;
        } else if (k < 56) {
            before = got(k - 1) ? sub(k - 1) : nullptr;
            after = got(k + 1) ? sub(k + 1) : nullptr;
        } else {
            // The last eight never borrow from the following block.
            before = got(k - 1) ? sub(k - 1) : nullptr;
        }
        if (before && after) {
            for (int i = 0; i < kSubBlockSamples; ++i)
                out[i] = uint8_t((before[i] + after[i]) >> 1);
        } else if (before) {
            std::memcpy(out, before, kSubBlockSamples);
        } else if (after) {
            std::memcpy(out, after, kSubBlockSamples);
        } else {
            std::memset(out, 128, kSubBlockSamples);
        }
    }
    if (got(7)) {
        std::memcpy(memory.samples.data(), sub(kSubBlocksPerBlock - 1), kSubBlockSamples);
        memory.valid = true;
    } else {
        memory.valid = false;
    }
    return lost;
}

int NoiseAmplitude(int lost)
{
    if (lost <= 0)
        return 0;
    if (lost <= 8)
        return 4;
    if (lost <= 16)
        return 8;
    if (lost <= 24)
        return 16;
    return 32;
}

void AddNoise(std::span<uint8_t, kBlockSamples> block, int amplitude, int (*random)())
{
    if (amplitude <= 0)
        return;
    for (auto& x : block) {
        int u = random() % amplitude - amplitude / 2;
        x = uint8_t(std::clamp(x + u, 0, 255));
    }
}

} // namespace lumetra::radio
