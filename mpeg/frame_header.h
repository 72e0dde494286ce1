#pragma once
// The frame header and the parameters derived from it, shared by every layer.

#include <cstdint>

namespace lumetra::mpeg {

// The twelve header fields in stream order.
struct FrameHeader {
    int32_t id;                 // 1 = MPEG-1, 0 = MPEG-2 LSF
    int32_t layer;              // 1..3 (4 minus the two coded bits)
    int32_t errorProtection;    // 1 when the protection bit is 0
    int32_t bitrateIndex;
    int32_t samplingFrequency;  // index 0..3
    int32_t padding;
    int32_t extension;          // private bit
    int32_t mode;               // 0 stereo, 1 joint, 2 dual channel, 3 single channel
    int32_t modeExt;
    int32_t copyright;
    int32_t original;
    int32_t emphasis;
};

struct AllocationTable;  // layer II, see layer2 code

struct FrameParams {
    const FrameHeader* header = nullptr;
    int32_t actualMode = 0;
    int32_t tableNumber = -1;           // layer II allocation table loaded, -1 none
    AllocationTable* alloc = nullptr;
    int32_t stereo = 2;                 // channel count
    int32_t jsBound = 32;               // -1 for an impossible layer or mode extension
    int32_t sbLimit = 32;
};

} // namespace lumetra::mpeg
