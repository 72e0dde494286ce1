#include "mpeg/layer3/layer3_decoder.h"

#include "mpeg/layer3/frame_decoder.h"

namespace lumetra::mpeg {

struct Layer3Decoder::State {
    FrameDecoder frame;
};

Layer3Decoder::Layer3Decoder() : m_state(new State) {}

Layer3Decoder::~Layer3Decoder()
{
    delete m_state;
}

void Layer3Decoder::ResetForOpen()
{
    m_state->frame.Reset();
}

void Layer3Decoder::SetFreeFormatBytes(int bytes)
{
    m_state->frame.SetFreeFormatBytes(bytes);
}

int Layer3Decoder::DecodeFrame(BitReader& reader, const FrameHeader& header, const FrameParams& params,
                               Synthesis& synthesis, PcmSamples& pcm, int16_t*& out)
{
    const int channels = params.stereo == 1 ? 1 : 2;
    return m_state->frame.Decode(reader, reader.BitPosition(), header, channels, synthesis, pcm, out);
}

} // namespace lumetra::mpeg
