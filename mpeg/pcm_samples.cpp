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
    for (int r = 0; r < rows; ++r) {
        for (int j = 0; j < kSubbands; ++j) {
            *out++ = pcm.s[0][r][j];
            *out++ = pcm.s[1][r][j];
        }
    }
    return out;
}

} // namespace lumetra::mpeg
