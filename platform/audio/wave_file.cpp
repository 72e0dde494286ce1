#include "platform/audio/wave_file.h"

#include <cstring>
#include <optional>

namespace lumetra::platform::audio {

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagExtensible = 0xFFFE;

uint16_t Le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

WaveParseResult Fail(std::string error)
{
    WaveParseResult result;
    result.error = std::move(error);
    return result;
}

} // namespace

WaveParseResult ParseWave(std::span<const uint8_t> bytes)
{
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return Fail("not a RIFF WAVE file");
    std::optional<WaveFormat> format;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + pos;
        const size_t size = Le32(chunk + 4);
        const size_t body = pos + 8;
        const size_t available = bytes.size() - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || available < 16)
                return Fail("format chunk too short");
            WaveFormat f;
            f.formatTag = Le16(chunk + 8);
            f.channels = Le16(chunk + 10);
            f.samplesPerSec = Le32(chunk + 12);
            f.avgBytesPerSec = Le32(chunk + 16);
            f.blockAlign = Le16(chunk + 20);
            f.bitsPerSample = Le16(chunk + 22);
            if (f.formatTag == kTagExtensible) {
                // The sub-format GUID begins with the real tag.
                if (size < 40 || available < 40 || Le16(chunk + 8 + 24) != kTagPcm)
                    return Fail("extensible format is not PCM");
                f.formatTag = kTagPcm;
            }
            if (f.formatTag != kTagPcm)
                return Fail("not PCM (format tag " + std::to_string(f.formatTag) + ")");
            if (!IsSupportedFormat(f))
                return Fail("unsupported PCM layout");
            format = f;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!format)
                return Fail("data before format");
            size_t n = std::min(size, available);
            n -= n % format->blockAlign;
            WaveParseResult result;
            result.ok = true;
            result.image = WaveImage{*format, bytes.subspan(body, n)};
            return result;
        }
        if (size > available)
            break;
        pos = body + size + (size & 1);
    }
    return Fail(format ? "no data chunk" : "no format chunk");
}

} // namespace lumetra::platform::audio
