#pragma once
// Layer III: side information, bit reservoir, Huffman decoding, requantisation,
// stereo, reorder, alias reduction, hybrid filter, synthesis.

#include "mpeg/bit_reader.h"
#include "mpeg/frame_header.h"
#include "mpeg/pcm_samples.h"
#include "mpeg/synthesis.h"

#include <cstdint>

namespace lumetra::mpeg {

class Layer3Decoder {
public:
    Layer3Decoder();
    ~Layer3Decoder();

    // At every open: empty reservoir, overlap history cleared on next use.
    void ResetForOpen();
    // Free-format streams: the frame length without padding, 0 when unknown.
    void SetFreeFormatBytes(int bytes);

    // Decodes one frame whose header (and CRC word) has been read from reader.
    // Writes each granule's 576 sample frames to out, interleaved (channels from
    // params), or a whole frame of silence when the frame is given up. Returns
    // the samples clipped; *out advances past what was written.
    int DecodeFrame(BitReader& reader, const FrameHeader& header, const FrameParams& params, Synthesis& synthesis,
                    PcmSamples& pcm, int16_t*& out);

private:
    struct State;
    State* m_state;
};

} // namespace lumetra::mpeg
