#pragma once
// The stream's audio decoder: the wavelet codec with the listener's filter threshold.

#include "radio/codec/filter_threshold.h"
#include "radio/codec/wavelet_decoder.h"
#include "radio/receiver/payload_decoder.h"

namespace lumetra::radio {

class WaveletFrameDecoder : public PayloadDecoder {
public:
    void Decode(std::span<const uint8_t> payload, bool filter, std::span<uint8_t, kSamplesPerDatagram> out) override
    {
        DecodeFrame(payload, filter, m_threshold.Value(), out);
    }
    FilterThreshold& Threshold() { return m_threshold; }

private:
    FilterThreshold m_threshold;
};

} // namespace lumetra::radio
