#include "engine/decoder_source.h"
#include "engine/mpeg_item_adapter.h"
#include "mpeg/stream_layout.h"

namespace lumetra::engine {
namespace {

class MpegDecoderSource final : public DecoderSource {
public:
    int ReadInfo(MediaItem& item) override { return AnalyseMpegItem(item); }
    int ReadInfoFrom(MediaItem& item, std::FILE* file) override { return AnalyseMpegItem(item, file); }
    int64_t Open(MediaItem& item, int64_t byteOffset) override { return m_decoder.Open(item, byteOffset); }
    int DecodeNextFrame(uint8_t* block) override { return m_decoder.DecodeNextFrame(block); }
    void Close() override { m_decoder.Close(); }
    // Through the VBR header's seek table when the file has one.
    int64_t SeekOffset(const MediaItem& item, double fraction) override
    {
        const int64_t at = mpeg::SeekTarget(item.path, fraction);
        return at < 0 ? DecoderSource::SeekOffset(item, fraction) : std::min(at, item.fileSize);
    }

private:
    MpegItemDecoder m_decoder{mpeg::TheDecoder()};
};

} // namespace

DecoderSource& DefaultDecoderSource()
{
    static MpegDecoderSource source;
    return source;
}

} // namespace lumetra::engine
