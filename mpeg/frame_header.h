#pragma once
// The frame header and the parameters derived from it, shared by every layer.

#include <cstdint>

namespace lumetra::mpeg {

class BitReader;

// The twelve header fields in stream order.
struct FrameHeader {
    int32_t id;              // 1 = MPEG-1, 0 = MPEG-2 LSF, 2 = MPEG 2.5, 3 reserved
    int32_t layer;           // 1..3 (4 minus the two coded bits)
    int32_t errorProtection; // 1 when the protection bit is 0
    int32_t bitrateIndex;
    int32_t samplingFrequency; // index 0..3
    int32_t padding;
    int32_t extension; // private bit
    int32_t mode;      // 0 stereo, 1 joint, 2 dual channel, 3 single channel
    int32_t modeExt;
    int32_t copyright;
    int32_t original;
    int32_t emphasis;
};

struct AllocationTable; // layer II, see allocation_table.h

struct FrameParams {
    const FrameHeader* header = nullptr;
    int32_t actualMode = 0;
    int32_t tableNumber = -1; // layer II allocation table loaded, -1 none
    AllocationTable* alloc = nullptr;
    int32_t stereo = 2;   // channel count
    int32_t jsBound = 32; // -1 for an impossible layer or mode extension
    int32_t sbLimit = 32;
    int32_t freeFormatKbps = 0; // the bit rate a free-format stream's frame length implies
};

inline constexpr int kModeStereo = 0;
inline constexpr int kModeJointStereo = 1;
inline constexpr int kModeDualChannel = 2;
inline constexpr int kModeSingleChannel = 3;

inline constexpr int kIdMpeg2 = 0;
inline constexpr int kIdMpeg1 = 1;
inline constexpr int kIdMpeg25 = 2;   // sync 0xFFE, then a version bit of 0
inline constexpr int kIdReserved = 3; // sync 0xFFE, then a version bit of 1

// The 12-bit sync word of a stream: 0xFFE for MPEG 2.5, else 0xFFF.
inline constexpr uint32_t SyncWordFor(int id)
{
    return id == kIdMpeg25 ? 0xFFEu : 0xFFFu;
}

// The fields of the 20 header bits that follow the sync word (most significant
// first); lowSync when the sync word was 0xFFE (MPEG 2.5). Checked: false for
// values no frame carries (the reserved version, layer bits 00, bit rate index
// 15, sampling frequency 3); the fields are filled in all the same.
bool DecodeFrameHeader(uint32_t bits, bool lowSync, FrameHeader& header);
// The same, read from the stream.
bool ReadFrameHeader(BitReader& reader, FrameHeader& header, bool lowSync = false);
// The same from the 4 bytes at p, sync word included: MPEG-1 and MPEG-2 (sync
// 0xFFF) and MPEG 2.5 (sync 0xFFE). False without a sync word or for the
// values above; the reserved version leaves header as it was.
bool ParseHeaderBytes(const uint8_t* p, FrameHeader& header);

// Channel count, subband limit (for layer II the allocation table is chosen and,
// when its number changes, read into params.alloc) and joint-stereo bound.
void DeriveFrameParams(FrameParams& params);

// Bitrate in kbit/s, 0 for free format or an index outside the tables.
int BitrateKbps(int id, int layer, int bitrateIndex);
// Sampling frequency in kHz / Hz, 0 for the reserved index.
double SampleRateKhz(int id, int samplingFrequency);
int SampleRateHz(int id, int samplingFrequency);
// Samples per channel in one frame and bits per slot.
int SamplesPerFrame(int id, int layer);
int SlotBits(int layer);
// Frame length in bits from the header (padding included), 0 when it cannot be
// computed (free format, reserved values).
int FrameLengthBits(const FrameHeader& header);

} // namespace lumetra::mpeg
