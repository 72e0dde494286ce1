// Arbitrary bytes as an MPEG file: analysis, open at an offset taken from the
// input, and decoding until the end of data, as the player does.
#include "media/media_item.h"
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

    static MediaItem item;
    item = MakeMediaItem();
    std::strcpy(item.path, FuzzPath().c_str());
    if (!mpeg::AnalyseMpegItem(item) || item.layer == -1)
        return 0;
    // The last two bytes choose where playback starts.
    int32_t target = 0;
    if (size >= 2)
        target = static_cast<int32_t>(((data[size - 2] << 8) | data[size - 1]) % (size + 1));
    static mpeg::DecoderContext decoder;
    static uint8_t block[2 * 4608];
    item.decoderParam = 0;
    item.decoderCounter = -1;
    decoder.Open(item, target);
    for (int frames = 0; !item.endOfData && !item.endOfQueue && frames < 100000; ++frames) {
        const int values = decoder.DecodeNextFrame(block);
        if (values < 0 || values > item.channels * 1152)
            __builtin_trap();
    }
    decoder.Close();
    return 0;
}
