#pragma once
// The record of one playable thing. Playlist rows, library nodes and the player's
// current item each hold one; the engine copies the decoder's analysis into the MPEG fields.

#include <cstdint>

namespace lumetra {

// Single bits, so a mask selects several kinds (65535 = all).
enum MediaType : int32_t {
    MEDIA_NONE = 0,
    MEDIA_WAVE = 1,
    MEDIA_STATION = 2,
    MEDIA_MPEG = 4,
    MEDIA_CDTRACK = 8,
    MEDIA_MIDI = 16,
    MEDIA_ASF = 32,
};
inline constexpr int32_t kAllMediaTypes = 65535;

// Layer value of non-MPEG items whose length is counted at 44100 Hz.
inline constexpr int32_t kLayerSampled = 10;

struct MediaItem {
    char path[1024];
    char title[128];
    char performer[128];
    char webLink[128]; // at most 30 characters used
    int32_t decoderParam;
    int32_t version; // 1 = MPEG-1, 0 = MPEG-2 LSF
    int32_t layer;   // 1..3, 10 sampled non-MPEG, -1 not playable
    int32_t errorProtection;
    int32_t bitrate; // kbit/s
    int32_t padding;
    int32_t extension; // private bit
    int32_t mode;
    int32_t modeExt;
    int32_t copyright;
    int32_t original;
    int32_t emphasis;
    int32_t decoderCounter;
    int32_t samplesPerFrame;
    int32_t blockFactor; // bits per slot
    int32_t channels;
    int32_t sampleRate;   // Hz
    int64_t totalSamples; // per channel, at sampleRate
    int32_t streamState;  // 0 file, 1 stream filling, 2 stream playing
    int32_t isPlaying;
    int32_t endOfData;
    int32_t endOfQueue;
    int64_t fileSize;
    int64_t streamReadPos; // byte position just after the last sync found
    int32_t mciDevice;
    int32_t mediaType;
    int64_t durationSeconds;
};

// A zero-filled item, as every item starts.
inline MediaItem MakeMediaItem()
{
    MediaItem item{};
    return item;
}

} // namespace lumetra
