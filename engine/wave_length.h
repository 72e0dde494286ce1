#pragma once
// The playing time of a plain PCM WAV file from its header, without opening a
// decoder: the library reads thousands of them. Anything less plain is left to
// the media-control source.

#include <cstdint>
#include <optional>

namespace lumetra::engine {

// Milliseconds as the decoder library reports them (the samples of the "data"
// chunk at the format's rate); nothing unless the file is a RIFF WAVE with a
// PCM "fmt " chunk (8, 16, 24 or 32 bits, 1 to 8 channels, 8,000 to 192,000 Hz)
// before a non-empty "data" chunk that ends within the file, all in the first
// 4 KB.
std::optional<int64_t> PcmWaveLengthMs(const char* path);

} // namespace lumetra::engine
