#include "mpeg/stream_info.h"

#include "mpeg/bit_reader.h"
#include "mpeg/frame_header.h"
#include "mpeg/id3v2_text.h"
#include "mpeg/stream_layout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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

void CopyTagTexts(FILE* f, FileTags& tags)
{
    const TagReader read = [f](int64_t offset, uint8_t* buf, std::size_t len) -> std::size_t {
        if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0)
            return 0;
        return std::fread(buf, 1, len, f);
    };
    const Id3v2Texts texts = ReadId3v2Texts(read);
    if (texts.hasTitle) {
        std::memcpy(tags.title.text, texts.title, sizeof texts.title);
        tags.title.found = true;
    }
    if (texts.hasPerformer) {
        std::memcpy(tags.performer.text, texts.performer, sizeof texts.performer);
        tags.performer.found = true;
    }
}

} // namespace

FileTags ReadFileSizeAndId3v1(const char* path)
{
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return FileTags{};
    FileTags tags = ReadFileSizeAndId3v1(f);
    std::fclose(f);
    return tags;
}

FileTags ReadFileSizeAndId3v1(FILE* f)
{
    FileTags tags;
    tags.opened = true;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    tags.fileSize = std::max<int64_t>(size, 0);
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
    return tags;
}

StreamInfo AnalyseMpegFile(const char* path)
{
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return StreamInfo{};
    StreamInfo info = AnalyseMpegFile(f);
    std::fclose(f);
    return info;
}

StreamInfo AnalyseMpegFile(FILE* file)
{
    StreamInfo info;
    info.tags = ReadFileSizeAndId3v1(file);
    BitReader reader;
    if (!reader.Open(file, kReaderBufferSize))
        return info;
    info.readerOpened = true;
    FILE* f = reader.File();
    unsigned char b[10] = {};
    const std::size_t got = std::fread(b, 1, sizeof b, f);
    int64_t tagSize = 0;
    const bool id3 = got == sizeof b && b[0] == 'I' && b[1] == 'D' && b[2] == '3';
    const int64_t audioStart = id3 ? Id3v2TotalSize(b) : 0;
    if (audioStart > 0 && b[3] >= 2 && b[3] <= 4) {
        tagSize = audioStart - 10;
        CopyTagTexts(f, info.tags);
        std::fseek(f, static_cast<long>(tagSize + 10), SEEK_SET);
        reader.SetBitPosition(8 * static_cast<uint64_t>(tagSize + 10));
    } else {
        std::fseek(f, 0, SEEK_SET);
    }

    // Sync 0xFFF (MPEG-1 and 2) or 0xFFE (MPEG 2.5); 0xFFE followed by a
    // version bit of 1 is reserved and searched past.
    FrameHeader h{};
    uint32_t sync = 0;
    int found;
    do {
        found = reader.FindSyncMasked(0xFFE, 0xFFE, 12, 16384, &sync);
        if (found)
            ReadFrameHeader(reader, h, sync == 0xFFE);
    } while (found && h.id == kIdReserved &&
             reader.BitPosition() - 8 * static_cast<uint64_t>(tagSize) <= kFirstFrameMarginBits);
    const uint64_t headerEnd = reader.BitPosition();
    if (!found || headerEnd - 20 - 8 * static_cast<uint64_t>(tagSize) > kFirstFrameMarginBits || h.id == kIdReserved)
        return info;

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
        info.layer = -1; // reserved layer bits or sampling frequency
    // Bit rate, length and frame geometry from what surrounds the first frame
    // (a VBR header, free format, the tags at the end); a text file of
    // hexadecimal digits has only its first frame to go by.
    const uint64_t syncStart = headerEnd - 32;
    StreamLayout layout;
    if (!reader.IsHexText() && syncStart % 8 == 0)
        layout = ReadStreamLayout(f, static_cast<int64_t>(syncStart / 8));
    if (layout.firstFrame < 0) {
        layout.first = h;
        layout.audioStart = tagSize ? tagSize + 10 : 0;
        layout.audioEnd = info.tags.fileSize;
    }
    info.bitrate = layout.AverageKbps();
    if (info.bitrate > 0) {
        info.totalSamples = layout.TotalSamples(false);
        info.samplesPerFrame = SamplesPerFrame(h.id, h.layer);
        info.blockFactor = SlotBits(h.layer);
    }
    return info;
}

} // namespace lumetra::mpeg
