// lumetra-decode IN OUT.wav: analyses an MPEG audio file, opens it at offset 0
// as the player does, decodes every frame until the end of data and writes
// 16-bit PCM WAV at the stream's rate and channel count.

#include "media/media_item.h"
#include "mpeg/decoder_context.h"
#include "mpeg/stream_info.h"
#include "wav_writer.h"

#include <cstdio>
#include <cstring>
#include <vector>

using namespace lumetra;

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: lumetra-decode IN OUT.wav\n");
        return 2;
    }
    const char* in = argv[1];
    const char* outPath = argv[2];
    if (std::strlen(in) >= sizeof(MediaItem::path)) {
        std::fprintf(stderr, "lumetra-decode: %s: path too long\n", in);
        return 1;
    }
    if (FILE* probe = std::fopen(in, "rb"))
        std::fclose(probe);
    else {
        std::fprintf(stderr, "lumetra-decode: %s: cannot open file\n", in);
        return 1;
    }

    static MediaItem item = MakeMediaItem();
    std::strcpy(item.path, in);
    if (!mpeg::AnalyseMpegItem(item) || item.layer == -1 || item.sampleRate == 0) {
        std::fprintf(stderr, "lumetra-decode: %s: not an MPEG audio file (no frame header near the start)\n", in);
        return 1;
    }

    tools::WavWriter wav;
    if (!wav.Open(outPath, item.sampleRate, item.channels)) {
        std::fprintf(stderr, "lumetra-decode: %s: cannot write file\n", outPath);
        return 1;
    }

    mpeg::DecoderContext& decoder = mpeg::TheDecoder();
    item.decoderParam = 0;
    item.decoderCounter = -1;
    decoder.Open(item, 0);
    const int channels = item.channels;
    std::vector<uint8_t> block(static_cast<std::size_t>(channels) * 4608);
    long frames = 0;
    while (!item.endOfData && !item.endOfQueue) {
        const int values = decoder.DecodeNextFrame(block.data());
        if (values > 0) {
            wav.Write(reinterpret_cast<const int16_t*>(block.data()), static_cast<std::size_t>(values));
            ++frames;
        }
    }
    decoder.Close();
    if (!wav.Close()) {
        std::fprintf(stderr, "lumetra-decode: %s: write failed\n", outPath);
        return 1;
    }
    if (frames == 0) {
        std::fprintf(stderr, "lumetra-decode: %s: no frame could be decoded\n", in);
        return 1;
    }
    return 0;
}
