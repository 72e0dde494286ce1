#include "mpeg/stream_layout.h"

#include "mpeg/end_tags.h"
#include "mpeg/free_format.h"
#include "mpeg/id3v2_text.h"

#include <algorithm>
#include <vector>

namespace lumetra::mpeg {
namespace {

// Enough for two free-format frames at the highest rates and lowest
// frequencies, and for any VBR header frame.
constexpr std::size_t kHeadBytes = 16 * 1024;
// Searched for the first frame when the caller has not found it.
constexpr std::size_t kFirstFrameSearchBytes = 2048 + 16;
// No sound frame is shorter than this, so a VBR header that counts more
// frames than the audio bytes allow is forged and its count is dropped.
constexpr int64_t kMinFrameBytes = 16;

std::size_t ReadAt(FILE* f, int64_t offset, uint8_t* buf, std::size_t len)
{
    if (offset < 0 || std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0)
        return 0;
    return std::fread(buf, 1, len, f);
}

int PaddingBytes(const FrameHeader& h)
{
    return h.padding ? (h.layer == 1 ? 4 : 1) : 0;
}

} // namespace

int64_t StreamLayout::TrimStart() const
{
    return Gapless() ? vbr->encoderDelay + kDecoderDelaySamples : 0;
}

int64_t StreamLayout::TrimmedLength() const
{
    if (!Gapless())
        return Frames() * SamplesPerFrame(first.id, first.layer);
    const int64_t all = Frames() * SamplesPerFrame(first.id, first.layer);
    return std::max<int64_t>(0, all - vbr->encoderDelay - vbr->encoderPadding);
}

int64_t StreamLayout::TotalSamples(bool gapless) const
{
    if (Frames() > 0)
        return gapless ? TrimmedLength() : Frames() * SamplesPerFrame(first.id, first.layer);
    const int kbps = AverageKbps();
    const int hz = SampleRateHz(first.id, first.samplingFrequency);
    if (kbps <= 0 || hz <= 0 || audioEnd <= audioStart)
        return 0;
    return (audioEnd - audioStart) * hz / (static_cast<int64_t>(kbps) * 125);
}

int StreamLayout::AverageKbps() const
{
    const int hz = SampleRateHz(first.id, first.samplingFrequency);
    // "Info" marks a constant bit rate: the header's own.
    if (vbr && vbr->kind != VbrHeader::Kind::Info && vbr->frames > 0 && vbr->bytes > 0 && hz > 0) {
        const int64_t bytes =
            std::min<int64_t>(vbr->bytes, audioEnd - std::max<int64_t>(firstFrame, 0)) - firstFrameBytes;
        const int64_t samples = Frames() * SamplesPerFrame(first.id, first.layer);
        const int64_t kbps = (bytes * 8 * hz + samples * 500) / (samples * 1000);
        if (kbps > 0)
            return static_cast<int>(std::min<int64_t>(kbps, 1000));
    }
    if (first.bitrateIndex == 0)
        return freeFormatKbps;
    return BitrateKbps(first.id, first.layer, first.bitrateIndex);
}

int64_t StreamLayout::SeekOffset(double fraction) const
{
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (vbr && firstFrame >= 0)
        return firstFrame - audioStart + VbrSeekOffset(*vbr, fraction, audioEnd - firstFrame);
    return static_cast<int64_t>(fraction * static_cast<double>(audioEnd - audioStart));
}

StreamLayout ReadStreamLayout(FILE* f, int64_t firstFrame)
{
    StreamLayout l;
    if (std::fseek(f, 0, SEEK_END) != 0)
        return l;
    const int64_t fileSize = std::ftell(f);
    l.fileSize = fileSize;
    uint8_t h[10] = {};
    if (ReadAt(f, 0, h, sizeof h) == sizeof h)
        l.audioStart = std::min(Id3v2TotalSize(h), fileSize);
    const TagReader read = [f](int64_t offset, uint8_t* buf, std::size_t len) { return ReadAt(f, offset, buf, len); };
    l.audioEnd = AudioEndOffset(read, fileSize, l.audioStart);

    std::vector<uint8_t> head;
    auto readHead = [&](int64_t from, std::size_t bytes) {
        head.resize(static_cast<std::size_t>(std::clamp<int64_t>(l.audioEnd - from, 0, static_cast<int64_t>(bytes))));
        head.resize(ReadAt(f, from, head.data(), head.size()));
    };
    if (firstFrame < 0) {
        readHead(l.audioStart, kFirstFrameSearchBytes);
        for (std::size_t i = 0; i + 4 <= head.size(); ++i)
            if (ParseHeaderBytes(&head[i], l.first)) {
                firstFrame = l.audioStart + static_cast<int64_t>(i);
                break;
            }
        if (firstFrame < 0)
            return l;
    }
    readHead(firstFrame, 4);
    if (head.size() < 4 || !ParseHeaderBytes(head.data(), l.first))
        return l;
    l.firstFrame = firstFrame;
    // Free format needs the frames that follow to tell its length; otherwise the
    // first frame (perhaps a VBR header) is all there is to read.
    readHead(firstFrame, l.first.bitrateIndex == 0
                             ? kHeadBytes
                             : static_cast<std::size_t>(std::max(4, FrameLengthBits(l.first) / 8)));
    if (l.first.bitrateIndex == 0) {
        l.freeFormatBytes = FreeFormatFrameBytes(head, l.first);
        l.freeFormatKbps = ImpliedKbps(l.first, l.freeFormatBytes);
        l.firstFrameBytes = l.freeFormatBytes ? l.freeFormatBytes + PaddingBytes(l.first) : 0;
    } else {
        l.firstFrameBytes = FrameLengthBits(l.first) / 8;
    }
    if (l.first.layer == 3 && l.firstFrameBytes > 0) {
        const std::size_t n = std::min(head.size(), static_cast<std::size_t>(l.firstFrameBytes));
        l.vbr = ParseVbrHeader(std::span<const uint8_t>(head.data(), n), l.first);
        if (l.vbr && static_cast<int64_t>(l.vbr->frames) > (l.audioEnd - firstFrame) / kMinFrameBytes)
            l.vbr->frames = 0;
    }
    return l;
}

int64_t SeekTarget(const char* path, double fraction)
{
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return -1;
    const StreamLayout l = ReadStreamLayout(f);
    std::fclose(f);
    if (l.firstFrame < 0)
        return -1;
    return l.SeekOffset(fraction) + (l.audioStart > 0 ? 10 : 0);
}

} // namespace lumetra::mpeg
