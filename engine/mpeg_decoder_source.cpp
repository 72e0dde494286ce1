#include "engine/decoder_source.h"
#include "engine/mpeg_item_adapter.h"

namespace lumetra::engine {
namespace {

class MpegDecoderSource final : public DecoderSource {
public:
    int ReadInfo(MediaItem& item) override { return AnalyseMpegItem(item); }
    int32_t Open(MediaItem& item, int32_t byteOffset) override { return m_decoder.Open(item, byteOffset); }
    int DecodeNextFrame(uint8_t* block) override { return m_decoder.DecodeNextFrame(block); }
    void Close() override { m_decoder.Close(); }

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
