#pragma once
// The decoder context: open an MPEG item at a byte offset, decode one frame at a
// time into the engine's block, close. One per process (TheDecoder()); tests may
// make their own. Open, DecodeNextFrame and Close each hold the decoder lock.

#include "media/media_item.h"

#include <cstdint>
#include <mutex>

namespace lumetra::mpeg {

class DecoderContext {
public:
    DecoderContext();
    ~DecoderContext();
    DecoderContext(const DecoderContext&) = delete;
    DecoderContext& operator=(const DecoderContext&) = delete;

    // Returns the samples per channel before the first frame at or after target,
    // 0 when the item cannot be opened. The item must have been analysed
    // (AnalyseMpegItem) and must outlive the open.
    int32_t Open(MediaItem& item, int32_t targetOffset);
    // Writes samplesPerFrame x channels 16-bit samples into block (channels x 4608
    // bytes), or sets endOfData (and endOfQueue when no sync word was found).
    // Returns the number of 16-bit values of a decoded frame written (0 when no
    // frame was decoded, a CRC error dropped it, or the stream ended; the copy of
    // the last samples made when the stream ends is not counted).
    int DecodeNextFrame(uint8_t* block);
    void Close();

    bool IsOpen() const;
    // Samples clipped in the last decoded frame.
    int LastClipCount() const;

private:
    struct State;
    State* m_state;
    std::mutex m_lock;
};

DecoderContext& TheDecoder();

} // namespace lumetra::mpeg
