// Arbitrary bytes as an MPEG file: analysis, open at an offset taken from the
// input, and decoding until the end of data, as the player does.
#include "mpeg/decoder_context.h"
#include "mpeg/stream_info.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

using namespace lumetra;

namespace {

const std::string& FuzzPath()
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir ? dir : "/tmp") + "/lumetra-mpeg-fuzz-" + std::to_string(getpid()) + ".mp3";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(FuzzPath().c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    const mpeg::StreamInfo info = mpeg::AnalyseMpegFile(FuzzPath().c_str());
    if (!info.analysed || info.layer == -1)
        return 0;
    // The last two bytes choose where playback starts.
    int32_t target = 0;
    if (size >= 2)
        target = static_cast<int32_t>(((data[size - 2] << 8) | data[size - 1]) % (size + 1));
    static mpeg::DecoderContext decoder;
    static int16_t block[mpeg::kMaxFrameValues];
    decoder.Open(FuzzPath().c_str(), {info.version, info.layer, info.mode, info.sampleRate, info.channels}, target);
    for (int frames = 0; frames < 100000; ++frames) {
        const mpeg::FrameResult r = decoder.DecodeNextFrame(block);
        if (r.status == mpeg::FrameStatus::End || r.status == mpeg::FrameStatus::EndNoSync)
            break;
        if (r.values < 0 || r.values > info.channels * 1152)
            __builtin_trap();
    }
    decoder.Close();
    return 0;
}
