#pragma once
// The decoder context: open an MPEG item at a byte offset, decode one frame at a
// time into the engine's block, close. One per process (TheDecoder()); tests may
// make their own. Open, DecodeNextFrame and Close each hold the decoder lock.

#include "engine/media_item.h"

#include <cstdint>
#include <mutex>

namespace lumetra::mpeg {

class DecoderContext {
public:
    DecoderContext();
    ~DecoderContext();

    // Returns the samples per channel before the first frame at or after target,
    // 0 when the item cannot be opened.
    int32_t Open(MediaItem& item, int32_t targetOffset);
    // Writes samplesPerFrame x channels 16-bit samples into block (channels x 4608
    // bytes), or sets endOfData (and endOfQueue when no sync word was found).
    void DecodeNextFrame(uint8_t* block);
    void Close();

    bool IsOpen() const;

private:
    struct State;
    State* m_state;
    std::mutex m_lock;
};

DecoderContext& TheDecoder();

} // namespace lumetra::mpeg
