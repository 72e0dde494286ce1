#include "engine/wave_length.h"
#include "platform/regular_file.h"

#include <cstring>
#include <string>

namespace lumetra::engine {
namespace {

uint32_t Le32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t Le16(const unsigned char* p)
{
    return p[0] | (p[1] << 8);
}

} // namespace

std::optional<int64_t> PcmWaveLengthMs(const char* path)
{
    std::FILE* file = platform::OpenRegularFile(path);
    if (!file)
        return std::nullopt;
    unsigned char head[4096];
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    const bool sized = std::fseek(file, 0, SEEK_END) == 0;
    const long fileSize = sized ? std::ftell(file) : -1;
    std::fclose(file);
    if (got < 12 || fileSize < 0 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return std::nullopt;
    uint32_t channels = 0, rate = 0, bits = 0;
    for (std::size_t at = 12; at + 8 <= got;) {
        const uint32_t size = Le32(head + at + 4);
        const unsigned char* body = head + at + 8;
        if (std::memcmp(head + at, "fmt ", 4) == 0) {
            if (channels || size < 16 || at + 8 + 16 > got || Le16(body) != 1)
                return std::nullopt;
            channels = Le16(body + 2);
            rate = Le32(body + 4);
            bits = Le16(body + 14);
            if (channels < 1 || channels > 8 || rate < 8000 || rate > 192000 ||
                (bits != 8 && bits != 16 && bits != 24 && bits != 32))
                return std::nullopt;
        } else if (std::memcmp(head + at, "data", 4) == 0) {
            const int64_t end = static_cast<int64_t>(at) + 8 + size;
            if (!channels || size == 0 || size == UINT32_MAX || end > fileSize)
                return std::nullopt;
            const int64_t samples = int64_t{size} * 8 / (channels * bits);
            // Rounded to microseconds first, as the decoder library's duration is.
            return (samples * 1000000 + rate / 2) / rate / 1000;
        }
        at += 8 + static_cast<std::size_t>(size) + (size & 1);
        if (size > sizeof head)
            break;
    }
    return std::nullopt;
}

} // namespace lumetra::engine
