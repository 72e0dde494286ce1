#include "mpeg/pcm_samples.h"

namespace lumetra::mpeg {

int16_t* WritePcmRows(const PcmSamples& pcm, int rows, int channels, int16_t* out)
{
    if (channels == 1) {
        for (int r = 0; r < rows; ++r)
            for (int j = 0; j < kSubbands; ++j)
                *out++ = pcm.s[0][r][j];
        return out;
    }
    // Eight samples of each channel interleave into sixteen at a time.
    using Short8 = int16_t __attribute__((vector_size(16)));
    for (int r = 0; r < rows; ++r) {
        for (int j = 0; j < kSubbands; j += 8) {
            Short8 left, right;
            __builtin_memcpy(&left, &pcm.s[0][r][j], sizeof left);
            __builtin_memcpy(&right, &pcm.s[1][r][j], sizeof right);
            const Short8 lo = __builtin_shufflevector(left, right, 0, 8, 1, 9, 2, 10, 3, 11);
            const Short8 hi = __builtin_shufflevector(left, right, 4, 12, 5, 13, 6, 14, 7, 15);
            __builtin_memcpy(out, &lo, sizeof lo);
            __builtin_memcpy(out + 8, &hi, sizeof hi);
            out += 16;
        }
    }
    return out;
}

} // namespace lumetra::mpeg
