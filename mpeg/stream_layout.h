#pragma once
// Where the sound of an MPEG file lies and how long it is: after the ID3v2 tag,
// before the tags at the end, the first frame (which may be a VBR header rather
// than sound), the length of free-format frames and the encoder's delay and
// padding. Read by the analysis and again by every open, from the file alone.

#include "mpeg/frame_header.h"
#include "mpeg/vbr_header.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace lumetra::mpeg {

// The decoder's own delay: the synthesis filter bank puts the first sample
// of the encoder's input 529 samples into the output.
inline constexpr int kDecoderDelaySamples = 529;

struct StreamLayout {
    int64_t audioStart = 0;       // first byte after the ID3v2 tag (0 without one)
    int64_t audioEnd = 0;         // first byte of the tags at the end (the file size without any)
    int64_t fileSize = 0;         // when the layout was read (a stream's file grows)
    int64_t firstFrame = -1;      // offset of the first frame header, -1 when none was found
    FrameHeader first{};          // its header
    int firstFrameBytes = 0;      // its length, padding included
    int freeFormatBytes = 0;      // free format: frame length without padding; else 0
    int freeFormatKbps = 0;       // and the bit rate it implies
    std::optional<VbrHeader> vbr; // the first frame is a VBR header, not sound

    // Sound frames counted by the VBR header, 0 when unknown.
    int64_t Frames() const { return vbr ? vbr->frames : 0; }
    bool Gapless() const { return vbr && vbr->frames > 0 && vbr->encoderDelay >= 0; }
    // The samples per channel to drop at the start and to keep in all when the
    // encoder's delay and padding are known (Gapless()).
    int64_t TrimStart() const;
    int64_t TrimmedLength() const;
    // The stream's length in samples per channel: exact with a VBR header
    // (trimmed when gapless), else estimated from the bit rate and the audio
    // bytes; 0 when it cannot be told.
    int64_t TotalSamples(bool gapless) const;
    // The bit rate in kbit/s to show: the average over a VBR header's bytes
    // and frames, the implied one for free format, else the first frame's.
    int AverageKbps() const;
    // Byte offset from audioStart at which the sound for fraction (0..1) of the
    // playing time begins, by the VBR header's table when there is one.
    int64_t SeekOffset(double fraction) const;
};

// Reads the layout from an open file (its position is not kept). firstFrame
// (with its header) is where the analysis found the first sync, -1 to search
// for it here.
StreamLayout ReadStreamLayout(FILE* file, int64_t firstFrame = -1);

// The target offset for opening path (counted as the open counts it: from 10
// bytes before the audio when an ID3v2 tag precedes it) at which fraction of its
// playing time is reached; -1 when the file cannot be read or holds no frame.
int64_t SeekTarget(const char* path, double fraction);

} // namespace lumetra::mpeg
