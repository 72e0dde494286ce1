// Arbitrary bytes through the parsers of what surrounds MPEG sound: ID3v2 tags
// and their texts, tags at the end, VBR header frames and their seek tables,
// free-format frame lengths. Results must stay inside the input.
#include "mpeg/end_tags.h"
#include "mpeg/frame_header.h"
#include "mpeg/free_format.h"
#include "mpeg/id3v2_text.h"
#include "mpeg/vbr_header.h"

#include <cstdint>
#include <cstring>
#include <span>

using namespace lumetra::mpeg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    const TagReader read = [bytes](int64_t at, uint8_t* buf, std::size_t len) -> std::size_t {
        if (at < 0 || at >= static_cast<int64_t>(bytes.size()))
            return 0;
        const std::size_t n = std::min(len, bytes.size() - static_cast<std::size_t>(at));
        if (n > 0)
            std::memcpy(buf, bytes.data() + at, n);
        return n;
    };

    const Id3v2Texts texts = ReadId3v2Texts(read);
    if (std::strlen(texts.title) > 127 || std::strlen(texts.performer) > 127)
        __builtin_trap();
    char text[16];
    DecodeId3Text(bytes, text, sizeof text);
    if (std::strlen(text) >= sizeof text)
        __builtin_trap();

    const auto end = AudioEndOffset(read, static_cast<int64_t>(size), size / 4);
    if (end < static_cast<int64_t>(size / 4) || end > static_cast<int64_t>(size))
        __builtin_trap();

    FrameHeader h{};
    if (size >= 4 && ParseHeaderBytes(data, h)) {
        if (auto v = ParseVbrHeader(bytes, h)) {
            int64_t last = 0;
            for (int pct = 0; pct <= 100; ++pct) {
                const int64_t at = VbrSeekOffset(*v, pct / 100.0, static_cast<int64_t>(size));
                if (at < last || at > static_cast<int64_t>(size))
                    __builtin_trap();
                last = at;
            }
        }
        const int length = FreeFormatFrameBytes(bytes, h);
        if (length < 0 || length > static_cast<int>(size))
            __builtin_trap();
    }
    return 0;
}
