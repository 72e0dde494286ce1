#pragma once
// Title and artist from an ID3v2 tag (versions 2.2, 2.3 and 2.4) as UTF-8,
// whatever text encoding the tag uses, and the tag's size on disk.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace lumetra::mpeg {

// Bytes the tag takes at the start of the file (header, body and a 2.4
// footer), from its first 10 bytes; 0 when they are no ID3v2 header.
int64_t Id3v2TotalSize(std::span<const uint8_t> first10);

// Reads up to len bytes at offset (counted from the tag's first byte) into buf;
// returns the bytes read.
using TagReader = std::function<std::size_t(int64_t offset, uint8_t* buf, std::size_t len)>;

struct Id3v2Texts {
    char title[128] = {};
    char performer[128] = {};
    bool hasTitle = false;
    bool hasPerformer = false;
};

// Walks the tag's frames for the title (TIT2/TT2) and artist (TPE1/TP1).
// Unknown versions, compressed or encrypted frames and damaged sizes leave the
// texts empty; the walk never leaves the tag's declared size.
Id3v2Texts ReadId3v2Texts(const TagReader& read);

// One text frame's body (encoding byte, then text) as UTF-8 into out (cap
// bytes with the terminating zero): encodings 0 Windows-1252 (its five undefined
// bytes are kept as they are, for the event escaping to show), 1 UTF-16 with a
// byte order mark (big-endian without one), 2 UTF-16BE, 3 UTF-8. Stops at the
// first terminator; never cuts a character in two.
void DecodeId3Text(std::span<const uint8_t> body, char* out, std::size_t cap);

} // namespace lumetra::mpeg
