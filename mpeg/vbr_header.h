#pragma once
// The frame that some encoders put first in place of sound: Xing ("Xing" for
// VBR, "Info" for CBR, both by LAME and FFmpeg) or Fraunhofer's VBRI. It holds
// the count of audio frames and bytes, a seek table and, in the LAME tag, the
// encoder's delay and padding in samples.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace lumetra::mpeg {

struct FrameHeader;

struct VbrHeader {
    enum class Kind { Xing, Info, Vbri };
    Kind kind = Kind::Xing;
    uint32_t frames = 0; // audio frames after this one, 0 when not given
    uint32_t bytes = 0;  // bytes from this frame to the end of the audio, 0 when not given
    // toc[i] / 256 is the fraction of bytes at which i percent of the time is
    // reached; made non-decreasing here, so a forged table cannot seek backwards.
    bool hasToc = false;
    std::array<uint8_t, 100> toc{};
    int encoderDelay = -1; // samples, from the LAME tag; -1 when absent
    int encoderPadding = -1;
};

// Looks for a VBR header in the bytes of one frame, starting at its sync word.
std::optional<VbrHeader> ParseVbrHeader(std::span<const uint8_t> frame, const FrameHeader& header);

// Byte offset from the VBR header frame's start at which fraction (0..1) of the
// playing time is reached, within 0..audioBytes. Uses the TOC when there is one,
// else a straight line.
int64_t VbrSeekOffset(const VbrHeader& vbr, double fraction, int64_t audioBytes);

} // namespace lumetra::mpeg
