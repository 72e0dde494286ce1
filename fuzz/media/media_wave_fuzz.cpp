// The WAV and ASF reader (FFmpeg behind our source) over arbitrary file bytes:
// open, length, a seek and up to ten seconds of reading, without a crash, a hang
// or an overrun of the caller's buffer.
#include "platform/media/ffmpeg_source.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace lumetra::platform::media;
    static const std::string path = "/dev/shm/lumetra-fuzz-" + std::to_string(getpid()) + ".wav";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    std::string error;
    FfmpegOptions options;
    options.timeoutMs = 2000;
    auto source = OpenFfmpegSource(path, options, error);
    if (!source)
        return error.empty() ? (std::abort(), 0) : 0;
    constexpr int kFrames = 4416;
    std::vector<int16_t> buffer((kFrames + 1) * kSourceChannels);
    const int16_t guard = 0x5A5A;
    buffer[kFrames * kSourceChannels] = guard;
    if (size % 3 == 0)
        source->SeekMs(source->LengthMs() > 0 ? source->LengthMs() / 2 : 500);
    for (int total = 0; total < kSourceRate * 10;) {
        int n = source->Read(buffer.data(), kFrames);
        if (n < 0 || n > kFrames || buffer[kFrames * kSourceChannels] != guard)
            std::abort();
        if (n == 0)
            break;
        total += n;
    }
    return 0;
}
