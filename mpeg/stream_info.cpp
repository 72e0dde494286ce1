#include "mpeg/stream_info.h"

#include "mpeg/bit_reader.h"
#include "mpeg/frame_header.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace lumetra::mpeg {
namespace {

constexpr int kReaderBufferSize = 4096;
constexpr uint32_t kFirstFrameMarginBits = 16384;

bool StartsWithLink(const char* field)
{
    return std::strncmp(field, "http://", 7) == 0 || std::strncmp(field, "www.", 4) == 0;
}

// Copies a fixed-width tag field, stopping at its first zero byte.
void CopyField(char* dest, const char* field, std::size_t width)
{
    std::size_t n = 0;
    while (n < width && field[n])
        ++n;
    std::memcpy(dest, field, n);
    dest[n] = '\0';
}

// Reads the title and artist frames of an ID3v2.2 or v2.3 tag. v2.3 frames have
// a 10-byte header (4-character id, 32-bit size); v2.2 a 6-byte one (3, 24).
void ReadId3v2Texts(FILE* f, FileTags& tags, long tagSize, int major)
{
    const int headerBytes = major == 3 ? 10 : 6;
    const int idBytes = major == 3 ? 4 : 3;
    const char* titleId = major == 3 ? "TIT2" : "TT2";
    const char* artistId = major == 3 ? "TPE1" : "TP1";
    while (!std::feof(f) && std::ftell(f) < tagSize + 10) {
        unsigned char h[10];
        if (std::fread(h, 1, static_cast<std::size_t>(headerBytes), f) < static_cast<std::size_t>(headerBytes))
            break;
        int64_t size = 0;
        for (int i = idBytes; i < headerBytes - (major == 3 ? 2 : 0); ++i)
            size = (size << 8) | h[i];
        int64_t consumed = 0;
        TagText* dest = nullptr;
        if (std::memcmp(h, titleId, static_cast<std::size_t>(idBytes)) == 0)
            dest = &tags.title;
        else if (std::memcmp(h, artistId, static_cast<std::size_t>(idBytes)) == 0)
            dest = &tags.performer;
        if (dest) {
            if (getc(f) == EOF)
                break;
            consumed = 1;
            const auto want = static_cast<std::size_t>(std::clamp<int64_t>(size - 1, 0, 127));
            const std::size_t got = std::fread(dest->text, 1, want, f);
            dest->text[got] = '\0';
            dest->found = true;
            consumed += static_cast<int64_t>(got);
        }
        const int64_t ahead = size - consumed;
        if (ahead > std::numeric_limits<long>::max() / 2)
            break;
        std::fseek(f, static_cast<long>(ahead), SEEK_CUR);
    }
}

} // namespace

FileTags ReadFileSizeAndId3v1(const char* path)
{
    FileTags tags;
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return tags;
    tags.opened = true;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    tags.fileSize = static_cast<int32_t>(std::min<long>(size, std::numeric_limits<int32_t>::max()));
    if (size > 1024) {
        char tag[128];
        std::fseek(f, -128, SEEK_END);
        tags.title.found = true;
        if (std::fread(tag, 1, sizeof tag, f) == sizeof tag && std::memcmp(tag, "TAG", 3) == 0) {
            char* title = tags.title.text;
            CopyField(title, tag + 3, 30);
            if (tag[3 + 29] == ' ') {
                for (std::size_t n = std::strlen(title); n > 0 && title[n - 1] == ' '; --n)
                    title[n - 1] = '\0';
            }
            CopyField(tags.performer.text, tag + 33, 30);
            tags.performer.found = true;
            char field[31];
            CopyField(field, tag + 63, 30);
            if (StartsWithLink(field)) {
                std::memcpy(tags.webLink.text, field, sizeof field);
                tags.webLink.found = true;
            }
            CopyField(field, tag + 97, 30);
            if (StartsWithLink(field)) {
                std::memcpy(tags.webLink.text, field, sizeof field);
                tags.webLink.found = true;
            }
        }
    }
    std::fclose(f);
    return tags;
}

StreamInfo AnalyseMpegFile(const char* path)
{
    StreamInfo info;
    info.tags = ReadFileSizeAndId3v1(path);
    if (!info.tags.opened)
        return info;
    BitReader reader;
    if (!reader.Open(path, kReaderBufferSize))
        return info;
    info.readerOpened = true;
    FILE* f = reader.File();
    unsigned char b[10] = {};
    const std::size_t got = std::fread(b, 1, sizeof b, f);
    long tagSize = 0;
    const bool id3 = got == sizeof b && b[0] == 'I' && b[1] == 'D' && b[2] == '3';
    if (id3 && (b[3] == 3 || b[3] == 2)) {
        tagSize = ((((static_cast<long>(b[6]) << 7) | b[7]) << 7 | b[8]) << 7) | b[9];
        ReadId3v2Texts(f, info.tags, tagSize, b[3]);
        std::fseek(f, tagSize + 10, SEEK_SET);
        reader.SetBitPosition(static_cast<uint32_t>(8 * (tagSize + 10)));
    } else {
        std::fseek(f, 0, SEEK_SET);
    }

    const int found = reader.FindSync(0xFFF, 12, 16384);
    if (!found || reader.BitPosition() - 8u * static_cast<uint32_t>(tagSize) > kFirstFrameMarginBits)
        return info;

    FrameHeader h{};
    ReadFrameHeader(reader, h);
    info.analysed = true;
    info.version = h.id;
    info.layer = h.layer;
    info.errorProtection = h.errorProtection;
    info.padding = h.padding;
    info.extension = h.extension;
    info.mode = h.mode;
    info.modeExt = h.modeExt;
    info.copyright = h.copyright;
    info.original = h.original;
    info.emphasis = h.emphasis;
    info.channels = h.mode == kModeSingleChannel ? 1 : 2;
    info.sampleRate = SampleRateHz(h.id, h.samplingFrequency);
    info.bitrate = BitrateKbps(h.id, h.layer, h.bitrateIndex);
    if (h.layer < 1 || h.layer > 3 || info.sampleRate == 0)
        info.layer = -1;  // reserved layer bits or sampling frequency
    if (h.errorProtection)
        reader.ReadBits(16);
    if (info.bitrate > 0) {
        const double samples = static_cast<double>(info.tags.fileSize) * info.sampleRate / ((info.bitrate / 8) * 1000);
        info.totalSamples = samples >= std::numeric_limits<int32_t>::max()
                                ? std::numeric_limits<int32_t>::max()
                                : static_cast<int32_t>(samples);
        info.samplesPerFrame = SamplesPerFrame(h.id, h.layer);
        info.blockFactor = SlotBits(h.layer);
    }
    return info;
}

} // namespace lumetra::mpeg
