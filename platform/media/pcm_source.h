#pragma once
// A decoded media source as the media-control layer plays it: 16-bit stereo at
// 44100 Hz, read in whole frames, with a position in milliseconds.

#include <cstdint>
#include <string>

namespace lumetra::platform::media {

inline constexpr int kSourceRate = 44100;
inline constexpr int kSourceChannels = 2;

class PcmSource {
public:
    virtual ~PcmSource() = default;
    // Length in milliseconds; -1 when unknown (network addresses).
    virtual int64_t LengthMs() const = 0;
    // Moves to a position in milliseconds, before the first Read; false when it cannot.
    virtual bool SeekMs(int64_t ms) = 0;
    // Up to `frames` interleaved stereo frames into out; the number written, 0 at
    // the end. Called on the audio device's thread; allocates nothing.
    virtual int Read(int16_t* out, int frames) = 0;
};

} // namespace lumetra::platform::media
