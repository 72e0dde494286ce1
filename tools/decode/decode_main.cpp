// lumetra-decode [--no-gapless] [--start SECONDS] IN OUT.wav: analyses an MPEG
// audio file, opens it at offset 0 (or where the player would seek to) as the
// player does, decodes every frame until the end of data and writes 16-bit PCM
// WAV at the stream's rate and channel count. A VBR header frame is no sound; the
// encoder's delay and padding that a LAME tag gives are cut unless --no-gapless. Files the player would
// not take for MPEG audio (WAV, MIDI, CD tracks, other containers) are refused:
// their bytes can hold false frame syncs that decode to noise.

#include "engine/media_type_detection.h"
#include "mpeg/decoder_context.h"
#include "mpeg/stream_info.h"
#include "mpeg/stream_layout.h"
#include "mpeg/table_report.h"
#include "platform/dialogs/message_box.h"
#include "platform/regular_file.h"
#include "tools/tool_options.h"
#include "wav_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace lumetra;

namespace {

constexpr const char* kUsage = "Usage: lumetra-decode [--no-gapless] [--start SECONDS] IN OUT.wav\n"
                               "Decodes an MPEG audio file (layers I-III) to 16-bit PCM WAV, every frame to\n"
                               "the end of data, as the player opens it.\n"
                               "  --no-gapless     keep the encoder's delay and padding (a LAME tag names them)\n"
                               "  --start SECONDS  start where the player's seek to SECONDS lands; the first\n"
                               "                   sample's number goes to standard error\n"
                               "Exit status: 0 decoded, 1 not readable or not MPEG audio, 2 usage error.\n";

bool HasAt(const unsigned char* header, std::size_t offset, const char* magic)
{
    return std::memcmp(header + offset, magic, std::strlen(magic)) == 0;
}

// What the file is when the player would not take it for MPEG audio; nothing
// when it may be MPEG.
const char* OtherKind(const unsigned char* header, const char* path)
{
    static const unsigned char kAsfGuid[] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
    if (engine::IsWaveHeader(header))
        return "a WAV file";
    if (engine::IsCdaHeader(header))
        return "an Audio CD track file";
    if (engine::IsMidiHeader(header))
        return "a MIDI file";
    if (engine::IsAsfName(path) || std::memcmp(header, kAsfGuid, sizeof kAsfGuid) == 0)
        return "an ASF/WMA file";
    if (HasAt(header, 0, "RIFF"))
        return "a RIFF container";
    if (HasAt(header, 0, "OggS"))
        return "an Ogg container";
    if (HasAt(header, 0, "fLaC"))
        return "a FLAC file";
    if (HasAt(header, 4, "ftyp"))
        return "an MP4 container";
    if (HasAt(header, 0, "FORM"))
        return "an AIFF/IFF container";
    if (HasAt(header, 0, "\x1A\x45\xDF\xA3"))
        return "a Matroska/WebM container";
    if (HasAt(header, 0, "QRZ "))
        return "a station file";
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    if (auto status = tools::StandardOption(argc, argv, "lumetra-decode", kUsage))
        return *status;
    bool gapless = true;
    double startSeconds = 0;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-gapless") == 0)
            gapless = false;
        else if (std::strcmp(argv[i], "--start") == 0 && i + 1 < argc)
            startSeconds = std::atof(argv[++i]);
        else if (argv[i][0] == '-' && argv[i][1] != '\0')
            return tools::UsageError("lumetra-decode", (std::string("unknown option: ") + argv[i]).c_str(), kUsage);
        else
            files.push_back(argv[i]);
    }
    if (files.size() != 2)
        return tools::UsageError("lumetra-decode", "expected IN and OUT.wav", kUsage);
    const char* in = files[0];
    const char* outPath = files[1];
    if (platform::ExistsButNotRegular(in)) {
        std::fprintf(stderr, "lumetra-decode: %s\n", platform::NotRegularFileText(in).c_str());
        return 1;
    }
    unsigned char header[engine::kHeaderBytes] = {};
    if (FILE* probe = platform::OpenRegularFile(in)) {
        std::size_t got = std::fread(header, 1, sizeof header, probe);
        bool failed = got == 0 && std::ferror(probe);
        std::fclose(probe);
        if (failed) {
            std::fprintf(stderr, "lumetra-decode: %s: cannot read file\n", in);
            return 1;
        }
    } else {
        std::fprintf(stderr, "lumetra-decode: %s: %s\n", in, errno == ENOENT ? "no such file" : "cannot open file");
        return 1;
    }
    if (const char* kind = OtherKind(header, in)) {
        std::fprintf(stderr, "lumetra-decode: %s: %s, not MPEG audio\n", in, kind);
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
    decoder.SetGapless(gapless);
    int64_t target = 0;
    if (startSeconds > 0 && info.totalSamples > 0)
        target = std::max<int64_t>(0, mpeg::SeekTarget(in, startSeconds * info.sampleRate / info.totalSamples));
    const auto first = decoder.Open(in, {info.version, info.layer, info.mode, info.sampleRate, info.channels},
                                    target);
    if (startSeconds > 0)
        std::fprintf(stderr, "lumetra-decode: starting at sample %lld\n", static_cast<long long>(first.value_or(0)));
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
