#include "engine/mpeg_item_adapter.h"

#include <cstring>

namespace lumetra::engine {
namespace {

void CopyTag(const mpeg::TagText& tag, char* dest, std::size_t size)
{
    if (!tag.found)
        return;
    const std::size_t n = strnlen(tag.text, size - 1);
    std::memcpy(dest, tag.text, n);
    dest[n] = '\0';
}

} // namespace

int ApplyFileTags(const mpeg::FileTags& tags, MediaItem& item)
{
    if (!tags.opened)
        return 0;
    item.fileSize = tags.fileSize;
    CopyTag(tags.title, item.title, sizeof item.title);
    CopyTag(tags.performer, item.performer, sizeof item.performer);
    CopyTag(tags.webLink, item.webLink, sizeof item.webLink);
    return 1;
}

int ApplyStreamInfo(const mpeg::StreamInfo& info, MediaItem& item)
{
    item.layer = -1;
    if (!ApplyFileTags(info.tags, item) || !info.readerOpened)
        return 0;
    item.totalSamples = 0;
    if (!info.analysed)
        return 0;
    item.version = info.version;
    item.layer = info.layer;
    item.errorProtection = info.errorProtection;
    item.padding = info.padding;
    item.extension = info.extension;
    item.mode = info.mode;
    item.modeExt = info.modeExt;
    item.copyright = info.copyright;
    item.original = info.original;
    item.emphasis = info.emphasis;
    item.channels = info.channels;
    item.sampleRate = info.sampleRate;
    item.bitrate = info.bitrate;
    if (info.sampleRate == 0)
        std::strcpy(item.title, "Format not supported.");
    if (info.bitrate > 0) {
        item.totalSamples = info.totalSamples;
        item.samplesPerFrame = info.samplesPerFrame;
        item.blockFactor = info.blockFactor;
    }
    return 1;
}

int ReadFileSizeAndId3v1(MediaItem& item)
{
    return ApplyFileTags(mpeg::ReadFileSizeAndId3v1(item.path), item);
}

int AnalyseMpegItem(MediaItem& item)
{
    return ApplyStreamInfo(mpeg::AnalyseMpegFile(item.path), item);
}

int AnalyseMpegItem(MediaItem& item, std::FILE* file)
{
    return ApplyStreamInfo(mpeg::AnalyseMpegFile(file), item);
}

int64_t MpegItemDecoder::Open(MediaItem& item, int64_t targetOffset)
{
    std::lock_guard lock(m_lock);
    m_item = &item;
    item.isPlaying = 1;
    const mpeg::StreamFormat format{item.version, item.layer, item.mode, item.sampleRate, item.channels};
    const auto start = m_decoder.Open(item.path, format, targetOffset);
    if (!start) {
        item.isPlaying = 0;
        item.endOfData = 1;
        item.endOfQueue = 1;
        return 0;
    }
    return *start;
}

int MpegItemDecoder::DecodeNextFrame(uint8_t* block)
{
    if (!m_item.load())
        return 0;
    std::lock_guard lock(m_lock);
    MediaItem* item = m_item.load();
    if (!item)
        return 0;
    if (item->endOfQueue) {
        item->endOfData = 1;
        return 0;
    }
    // A block holds a stereo frame even for a mono item, so a stream that turns stereo still fits.
    const mpeg::FrameResult r =
        m_decoder.DecodeNextFrame(std::span<int16_t>(reinterpret_cast<int16_t*>(block), std::size_t{2304}));
    if (r.streamReadPos >= 0)
        item->streamReadPos = r.streamReadPos;
    switch (r.status) {
    case mpeg::FrameStatus::Decoded:
    case mpeg::FrameStatus::Dropped:
        item->samplesPerFrame = r.samplesPerFrame;
        item->decoderCounter = r.frameIndex;
        return r.values;
    case mpeg::FrameStatus::EndNoSync:
        item->endOfQueue = 1;
        item->endOfData = 1;
        return 0;
    case mpeg::FrameStatus::End:
        item->endOfData = 1;
        return 0;
    }
    return 0;
}

void MpegItemDecoder::Close()
{
    if (!m_item.load())
        return;
    std::lock_guard lock(m_lock);
    MediaItem* item = m_item.load();
    if (!item)
        return;
    m_decoder.Close();
    item->endOfData = 1;
    item->layer = -1;
    item->endOfQueue = 0;
    item->isPlaying = 0;
    m_item = nullptr;
}

} // namespace lumetra::engine
