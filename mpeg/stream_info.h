#pragma once
// Analysis of MPEG files: file size, ID3v1 and ID3v2 tags, first frame header,
// length estimate. Returns values; the engine copies them onto its item.

#include <cstdint>
#include <cstdio>

namespace lumetra::mpeg {

// A text a tag supplied; found is false when no tag held the field.
struct TagText {
    bool found = false;
    char text[128] = {};
};

// The file's size and the texts of its tags. A file over 1024 bytes without an
// ID3v1 tag reports an empty title (found, ""), so an old title is cleared.
struct FileTags {
    bool opened = false;
    int64_t fileSize = 0;
    TagText title;
    TagText performer;
    TagText webLink; // at most 30 characters
};

// The stream as its first frame header describes it.
struct StreamInfo {
    FileTags tags;
    bool analysed = false;     // a frame header was found near the start
    bool readerOpened = false; // the file could be read for frames
    int32_t version = 0;       // 1 = MPEG-1, 0 = MPEG-2 LSF
    int32_t layer = -1;        // 1..3, -1 not playable
    int32_t errorProtection = 0;
    int32_t bitrate = 0; // kbit/s
    int32_t padding = 0;
    int32_t extension = 0;
    int32_t mode = 0;
    int32_t modeExt = 0;
    int32_t copyright = 0;
    int32_t original = 0;
    int32_t emphasis = 0;
    int32_t channels = 0;
    int32_t sampleRate = 0;      // Hz
    int64_t totalSamples = 0;    // per channel; estimated from the first bitrate
    int32_t samplesPerFrame = 0; // 0 when the bitrate is free or unknown
    int32_t blockFactor = 0;     // bits per slot; 0 as samplesPerFrame
};

FileTags ReadFileSizeAndId3v1(const char* path);
StreamInfo AnalyseMpegFile(const char* path);
// The same over a file the caller has open (its position is not kept).
FileTags ReadFileSizeAndId3v1(FILE* file);
StreamInfo AnalyseMpegFile(FILE* file);

} // namespace lumetra::mpeg
