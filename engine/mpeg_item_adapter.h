#pragma once
// The one place where the decoder's values meet the media item: analysis fills
// the item's MPEG fields and tags, and each frame result becomes the item flags
// the engine reads (endOfData, endOfQueue, streamReadPos, decoderCounter).

#include "media/media_item.h"
#include "mpeg/decoder_context.h"
#include "mpeg/stream_info.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace lumetra::engine {

// Size and ID3v1 texts onto the item; 1 when the file could be opened, else 0.
int ApplyFileTags(const mpeg::FileTags& tags, MediaItem& item);
// 1 analysed (layer may still be -1: unplayable), 0 failed.
int ApplyStreamInfo(const mpeg::StreamInfo& info, MediaItem& item);

int ReadFileSizeAndId3v1(MediaItem& item);
int AnalyseMpegItem(MediaItem& item);
// The same over the item's file, already open.
int AnalyseMpegItem(MediaItem& item, std::FILE* file);

// A decoder context driven through an item, as the engine plays it.
class MpegItemDecoder {
public:
    explicit MpegItemDecoder(mpeg::DecoderContext& decoder) : m_decoder(decoder) {}

    // The item must have been analysed and must outlive the open. Returns the
    // samples per channel before the first frame at or after target, 0 when the
    // item cannot be opened.
    int64_t Open(MediaItem& item, int64_t targetOffset);
    // Writes one frame into block (4608 bytes) or sets endOfData
    // (and endOfQueue when no further frame can be found). Returns the 16-bit
    // values of a decoded frame written (0 when none was).
    int DecodeNextFrame(uint8_t* block);
    void Close();
    bool IsOpen() const { return m_item.load() != nullptr; }

private:
    mpeg::DecoderContext& m_decoder;
    std::atomic<MediaItem*> m_item{nullptr};
    std::mutex m_lock;
};

} // namespace lumetra::engine
