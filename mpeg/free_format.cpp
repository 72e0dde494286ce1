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

bool ParseHeaderBytes(const uint8_t* p, FrameHeader& h)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return false;
    const int version = (p[1] >> 3) & 3;  // 0 MPEG 2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
    if (version == 1)
        return false;
    h.id = version == 3 ? 1 : version == 2 ? 0 : 2;
    h.layer = 4 - ((p[1] >> 1) & 3);
    h.errorProtection = (p[1] & 1) ? 0 : 1;
    h.bitrateIndex = p[2] >> 4;
    h.samplingFrequency = (p[2] >> 2) & 3;
    h.padding = (p[2] >> 1) & 1;
    h.extension = p[2] & 1;
    h.mode = p[3] >> 6;
    h.modeExt = (p[3] >> 4) & 3;
    h.copyright = (p[3] >> 3) & 1;
    h.original = (p[3] >> 2) & 1;
    h.emphasis = p[3] & 3;
    return h.layer != 4 && h.bitrateIndex != 15 && h.samplingFrequency != 3;
}

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
