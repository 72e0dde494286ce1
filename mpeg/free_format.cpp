#include "mpeg/free_format.h"

#include "mpeg/frame_header.h"

namespace lumetra::mpeg {
namespace {

// The fields every frame of a stream shares: version, layer, rate, bit rate
// index and whether it is mono.
bool SameStream(const FrameHeader& a, const FrameHeader& b)
{
    return a.id == b.id && a.layer == b.layer && a.samplingFrequency == b.samplingFrequency &&
           a.bitrateIndex == b.bitrateIndex && (a.mode == kModeSingleChannel) == (b.mode == kModeSingleChannel);
}

int PaddingBytes(const FrameHeader& h)
{
    return h.padding ? (h.layer == 1 ? 4 : 1) : 0;
}

} // namespace

int FreeFormatFrameBytes(std::span<const uint8_t> data, const FrameHeader& first)
{
    // Shorter frames than this cannot carry a header and side information.
    constexpr std::size_t kMinFrameBytes = 21;
    const std::size_t unit = first.layer == 1 ? 4 : 1;
    for (std::size_t q = kMinFrameBytes; q + 4 <= data.size(); ++q) {
        FrameHeader second{};
        if (data[q] != 0xFF || !ParseHeaderBytes(&data[q], second) || !SameStream(first, second))
            continue;
        const int length = static_cast<int>(q) - PaddingBytes(first);
        if (length <= 0 || length % static_cast<int>(unit) != 0)
            continue;
        const std::size_t third = q + static_cast<std::size_t>(length + PaddingBytes(second));
        FrameHeader next{};
        if (third + 4 > data.size() || (ParseHeaderBytes(&data[third], next) && SameStream(first, next)))
            return length;
    }
    return 0;
}

int ImpliedKbps(const FrameHeader& h, int frameBytes)
{
    const int hz = SampleRateHz(h.id, h.samplingFrequency);
    const int64_t samples = SamplesPerFrame(h.id, h.layer);
    if (hz <= 0 || frameBytes <= 0)
        return 0;
    // bits per frame x frames per second / 1000
    const int64_t num = static_cast<int64_t>(frameBytes) * 8 * hz;
    const int64_t den = samples * 1000;
    return static_cast<int>((num + den / 2) / den);
}

} // namespace lumetra::mpeg
