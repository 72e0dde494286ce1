#include "mpeg/end_tags.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lumetra::mpeg {
namespace {

constexpr int64_t kLyrics3v1MaxBytes = 5100; // its text, "LYRICSBEGIN" and "LYRICSEND" excluded
constexpr int kMaxTags = 8;

bool At(const TagReader& read, int64_t pos, const char* text)
{
    const std::size_t n = std::strlen(text);
    uint8_t buf[16];
    return pos >= 0 && read(pos, buf, n) == n && std::memcmp(buf, text, n) == 0;
}

// Bytes of the tag that ends at end, 0 when none does.
int64_t TagBefore(const TagReader& read, int64_t end)
{
    if (end >= 128 && At(read, end - 128, "TAG"))
        return 128;
    if (end >= 32 && At(read, end - 32, "APETAGEX")) {
        uint8_t f[32];
        if (read(end - 32, f, sizeof f) < sizeof f)
            return 0;
        const uint32_t size = f[12] | f[13] << 8 | f[14] << 16 | static_cast<uint32_t>(f[15]) << 24;
        const bool header = f[23] & 0x80;
        return std::max<int64_t>(32, static_cast<int64_t>(size) + (header ? 32 : 0));
    }
    if (end >= 15 && At(read, end - 9, "LYRICS200")) {
        uint8_t d[6];
        if (read(end - 15, d, sizeof d) < sizeof d)
            return 0;
        int64_t size = 0;
        for (uint8_t c : d) {
            if (c < '0' || c > '9')
                return 0;
            size = size * 10 + (c - '0');
        }
        return 15 + size;
    }
    if (end >= 20 && At(read, end - 9, "LYRICSEND")) {
        const int64_t from = std::max<int64_t>(0, end - 9 - kLyrics3v1MaxBytes - 11);
        std::vector<uint8_t> buf(static_cast<std::size_t>(end - 9 - from));
        buf.resize(read(from, buf.data(), buf.size()));
        for (std::size_t i = buf.size() >= 11 ? buf.size() - 11 + 1 : 0; i-- > 0;)
            if (std::memcmp(buf.data() + i, "LYRICSBEGIN", 11) == 0)
                return end - (from + static_cast<int64_t>(i));
    }
    return 0;
}

} // namespace

int64_t AudioEndOffset(const TagReader& read, int64_t fileSize, int64_t audioStart)
{
    int64_t end = fileSize;
    for (int i = 0; i < kMaxTags; ++i) {
        const int64_t bytes = TagBefore(read, end);
        if (bytes <= 0)
            break;
        end -= std::min(bytes, end);
    }
    return std::max(end, std::min(audioStart, fileSize));
}

} // namespace lumetra::mpeg
