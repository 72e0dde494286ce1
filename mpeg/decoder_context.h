#pragma once
// The decoder context: open an MPEG file at a byte offset, decode one frame at a
// time into the caller's samples, close. One per process (TheDecoder()); tests may
// make their own. Open, DecodeNextFrame and Close each hold the decoder lock.

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>

namespace lumetra::mpeg {

// Interleaved 16-bit values the largest frame writes (1152 samples, 2 channels).
inline constexpr int kMaxFrameValues = 2 * 1152;

// The stream an open expects, as analysis found it (AnalyseMpegFile): frames of
// another version, layer, mode or sampling rate are skipped.
struct StreamFormat {
    int32_t version = 0;
    int32_t layer = -1;
    int32_t mode = 0;
    int32_t sampleRate = 0; // Hz
    int32_t channels = 0;
};

enum class FrameStatus {
    Decoded,   // values holds the frame
    Dropped,   // a frame was read but its CRC failed: nothing written
    End,       // the input is exhausted
    EndNoSync, // no further frame can be found or used: the stream ends for good
};

struct FrameResult {
    FrameStatus status = FrameStatus::End;
    int values = 0;              // 16-bit values written for a decoded frame
    int64_t streamReadPos = -1;  // bytes just after the last sync found; -1 when no search was made
    int32_t samplesPerFrame = 0; // of the frame decoded or dropped
    int32_t frameIndex = -1;     // of the frame decoded or dropped, counted from the open's scan start
};

class DecoderContext {
public:
    DecoderContext();
    ~DecoderContext();
    DecoderContext(const DecoderContext&) = delete;
    DecoderContext& operator=(const DecoderContext&) = delete;

    // Returns the samples per channel before the first frame at or after target,
    // nullopt when the file cannot be read (the context stays open and every
    // frame then reports End until Close).
    std::optional<int64_t> Open(const char* path, const StreamFormat& format, int64_t targetOffset);
    // Decodes the next frame of the open's format into out, which must hold
    // channels x 1152 values. When no sync word is found the last rows of the
    // previous frame are copied to out again (not counted in values).
    FrameResult DecodeNextFrame(std::span<int16_t> out);
    void Close();

    bool IsOpen() const;
    // Gapless decoding (off by default): with a LAME tag, the encoder's delay
    // and padding are cut from the sound, so each frame may write fewer values.
    void SetGapless(bool on);
    // Samples clipped in the last decoded frame.
    int LastClipCount() const;

private:
    struct State;
    State* m_state;
    std::mutex m_lock;
};

DecoderContext& TheDecoder();

} // namespace lumetra::mpeg
