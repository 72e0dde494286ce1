#pragma once
// What the engine needs of an MPEG decoder: the information reader and the decoder
// context. The process uses the real decoder (DefaultDecoderSource); tests hand the
// engine their own.

#include "media/media_item.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace lumetra::engine {

class DecoderSource {
public:
    virtual ~DecoderSource() = default;
    // Fills the MPEG fields and tags of item; layer -1 when it is not playable.
    virtual int ReadInfo(MediaItem& item) = 0;
    // The same from the item's file, which the caller has open.
    virtual int ReadInfoFrom(MediaItem& item, std::FILE* /*file*/) { return ReadInfo(item); }
    // Opens item at a byte offset; returns the sample position reached.
    virtual int64_t Open(MediaItem& item, int64_t byteOffset) = 0;
    // One frame into block (4608 bytes: up to 1152 stereo samples) as interleaved 16-bit samples;
    // sets the item's endOfData when the input is exhausted. Returns the values
    // written, 0 when no frame could be decoded.
    virtual int DecodeNextFrame(uint8_t* block) = 0;
    virtual void Close() = 0;
    // The byte offset to open item at for fraction (0..1) of its playing time;
    // in proportion to the file's size unless the decoder knows better.
    virtual int64_t SeekOffset(const MediaItem& item, double fraction)
    {
        return static_cast<int64_t>(std::clamp(fraction, 0.0, 1.0) * static_cast<double>(item.fileSize));
    }
};

// The process's decoder (mpeg::TheDecoder and the stream analysis).
DecoderSource& DefaultDecoderSource();

} // namespace lumetra::engine
