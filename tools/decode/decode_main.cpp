// lumetra-decode IN OUT.wav: analyses an MPEG audio file, opens it at offset 0
// as the player does, decodes every frame until the end of data and writes
// 16-bit PCM WAV at the stream's rate and channel count.

#include "mpeg/decoder_context.h"
#include "mpeg/stream_info.h"
#include "mpeg/table_report.h"
#include "platform/dialogs/message_box.h"
#include "platform/regular_file.h"
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
    if (platform::ExistsButNotRegular(in)) {
        std::fprintf(stderr, "lumetra-decode: %s\n", platform::NotRegularFileText(in).c_str());
        return 1;
    }
    if (FILE* probe = platform::OpenRegularFile(in))
        std::fclose(probe);
    else {
        std::fprintf(stderr, "lumetra-decode: %s: cannot open file\n", in);
        return 1;
    }

    const mpeg::TableReport tables = mpeg::CheckDecoderTables();
    for (const std::string& text : tables.messages)
        platform::ShowMessageBox("Error Message", text);
    if (tables.exitStatus)
        return *tables.exitStatus;

    const mpeg::StreamInfo info = mpeg::AnalyseMpegFile(in);
    if (!info.analysed || info.layer == -1 || info.sampleRate == 0) {
        std::fprintf(stderr, "lumetra-decode: %s: not an MPEG audio file (no frame header near the start)\n", in);
        return 1;
    }

    tools::WavWriter wav;
    if (!wav.Open(outPath, info.sampleRate, info.channels)) {
        std::fprintf(stderr, "lumetra-decode: %s: cannot write file\n", outPath);
        return 1;
    }

    mpeg::DecoderContext& decoder = mpeg::TheDecoder();
    decoder.Open(in, {info.version, info.layer, info.mode, info.sampleRate, info.channels}, 0);
    std::vector<int16_t> block(mpeg::kMaxFrameValues);
    long frames = 0;
    for (;;) {
        const mpeg::FrameResult r = decoder.DecodeNextFrame(block);
        if (r.status == mpeg::FrameStatus::End || r.status == mpeg::FrameStatus::EndNoSync)
            break;
        if (r.values > 0) {
            wav.Write(block.data(), static_cast<std::size_t>(r.values));
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
