#include "engine/decoder_source.h"
#include "mpeg/decoder_context.h"
#include "mpeg/stream_info.h"

namespace lumetra::engine {
namespace {

class MpegDecoderSource final : public DecoderSource {
public:
    int ReadInfo(MediaItem& item) override { return mpeg::AnalyseMpegItem(item); }
    int32_t Open(MediaItem& item, int32_t byteOffset) override { return mpeg::TheDecoder().Open(item, byteOffset); }
    void DecodeNextFrame(uint8_t* block) override { mpeg::TheDecoder().DecodeNextFrame(block); }
    void Close() override { mpeg::TheDecoder().Close(); }
};

} // namespace

DecoderSource& DefaultDecoderSource()
{
    static MpegDecoderSource source;
    return source;
}

} // namespace lumetra::engine
