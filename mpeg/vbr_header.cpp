#include "mpeg/vbr_header.h"

#include "mpeg/frame_header.h"

#include <algorithm>
#include <cstring>

namespace lumetra::mpeg {
namespace {

constexpr std::size_t kVbriOffset = 36; // after the 32 bytes of side information, whatever the frame
constexpr std::size_t kLameTagBytes = 36;

uint32_t Be(std::span<const uint8_t> b, std::size_t at, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | b[at + static_cast<std::size_t>(i)];
    return v;
}

std::size_t SideInfoBytes(const FrameHeader& h)
{
    const bool mono = h.mode == kModeSingleChannel;
    if (h.id == 1)
        return mono ? 17 : 32;
    return mono ? 9 : 17;
}

void MakeMonotonic(std::array<uint8_t, 100>& toc)
{
    for (std::size_t i = 1; i < toc.size(); ++i)
        toc[i] = std::max(toc[i], toc[i - 1]);
}

std::optional<VbrHeader> ParseXing(std::span<const uint8_t> f, std::size_t at)
{
    if (at + 8 > f.size())
        return std::nullopt;
    VbrHeader v;
    if (std::memcmp(&f[at], "Xing", 4) == 0)
        v.kind = VbrHeader::Kind::Xing;
    else if (std::memcmp(&f[at], "Info", 4) == 0)
        v.kind = VbrHeader::Kind::Info;
    else
        return std::nullopt;
    const uint32_t flags = Be(f, at + 4, 4);
    std::size_t p = at + 8;
    if (flags & 1) {
        if (p + 4 > f.size())
            return v;
        v.frames = Be(f, p, 4);
        p += 4;
    }
    if (flags & 2) {
        if (p + 4 > f.size())
            return v;
        v.bytes = Be(f, p, 4);
        p += 4;
    }
    if (flags & 4) {
        if (p + 100 > f.size())
            return v;
        std::memcpy(v.toc.data(), &f[p], 100);
        MakeMonotonic(v.toc);
        v.hasToc = true;
        p += 100;
    }
    if (flags & 8)
        p += 4; // quality
    // The LAME tag follows; FFmpeg writes one too, under its own name.
    if (p + kLameTagBytes <= f.size()) {
        const uint8_t* name = &f[p];
        if (std::memcmp(name, "LAME", 4) == 0 || std::memcmp(name, "Lavf", 4) == 0 ||
            std::memcmp(name, "Lavc", 4) == 0) {
            const uint32_t dp = Be(f, p + 21, 3);
            v.encoderDelay = static_cast<int>(dp >> 12);
            v.encoderPadding = static_cast<int>(dp & 0xFFF);
        }
    }
    return v;
}

std::optional<VbrHeader> ParseVbri(std::span<const uint8_t> f)
{
    constexpr std::size_t kFixed = 26;
    const std::size_t at = kVbriOffset;
    if (at + kFixed > f.size() || std::memcmp(&f[at], "VBRI", 4) != 0)
        return std::nullopt;
    VbrHeader v;
    v.kind = VbrHeader::Kind::Vbri;
    v.bytes = Be(f, at + 10, 4);
    v.frames = Be(f, at + 14, 4);
    const uint32_t entries = Be(f, at + 18, 2);
    const uint32_t scale = Be(f, at + 20, 2);
    const uint32_t entryBytes = Be(f, at + 22, 2);
    const uint32_t framesPerEntry = Be(f, at + 24, 2);
    if (entries == 0 || entryBytes < 1 || entryBytes > 4 || framesPerEntry == 0 || v.frames == 0 || v.bytes == 0 ||
        at + kFixed + static_cast<std::size_t>(entries) * entryBytes > f.size())
        return v;
    // The table gives the bytes of each run of framesPerEntry frames; turn it
    // into the Xing form (byte fraction per percent of the frames).
    std::size_t entry = 0;
    uint64_t bytesBefore = 0; // bytes of the runs before entry
    for (int pct = 0; pct < 100; ++pct) {
        const uint64_t frame = static_cast<uint64_t>(v.frames) * static_cast<uint64_t>(pct) / 100;
        while (entry < entries && (entry + 1) * static_cast<uint64_t>(framesPerEntry) <= frame) {
            bytesBefore +=
                static_cast<uint64_t>(Be(f, at + kFixed + entry * entryBytes, static_cast<int>(entryBytes))) * scale;
            ++entry;
        }
        uint64_t offset = bytesBefore;
        if (entry < entries) {
            const uint64_t run =
                static_cast<uint64_t>(Be(f, at + kFixed + entry * entryBytes, static_cast<int>(entryBytes))) * scale;
            offset += run * (frame - entry * static_cast<uint64_t>(framesPerEntry)) / framesPerEntry;
        }
        v.toc[static_cast<std::size_t>(pct)] = static_cast<uint8_t>(std::min<uint64_t>(255, offset * 256 / v.bytes));
    }
    MakeMonotonic(v.toc);
    v.hasToc = true;
    return v;
}

} // namespace

std::optional<VbrHeader> ParseVbrHeader(std::span<const uint8_t> frame, const FrameHeader& header)
{
    const std::size_t at = 4 + SideInfoBytes(header);
    if (auto v = ParseXing(frame, at))
        return v;
    if (header.errorProtection)
        if (auto v = ParseXing(frame, at + 2))
            return v;
    return ParseVbri(frame);
}

int64_t VbrSeekOffset(const VbrHeader& vbr, double fraction, int64_t audioBytes)
{
    if (audioBytes <= 0)
        return 0;
    const int64_t bytes = vbr.bytes > 0 ? std::min<int64_t>(vbr.bytes, audioBytes) : audioBytes;
    fraction = fraction > 0 ? std::min(fraction, 1.0) : 0.0; // NaN too: an index is made of it
    double at;
    if (vbr.hasToc) {
        const double pct = fraction * 100.0;
        const int i = std::min(99, static_cast<int>(pct));
        const double a = vbr.toc[static_cast<std::size_t>(i)];
        const double b = i < 99 ? vbr.toc[static_cast<std::size_t>(i) + 1] : 256.0;
        at = (a + (b - a) * (pct - i)) / 256.0 * static_cast<double>(bytes);
    } else {
        at = fraction * static_cast<double>(bytes);
    }
    return std::clamp<int64_t>(static_cast<int64_t>(at), 0, audioBytes);
}

} // namespace lumetra::mpeg
