#pragma once
// Entropy coding of the 2048 coefficients of a frame, the counterpart of the
// decoder's reader: the plain value code and the run-length form that codes long
// zero runs as counts. Both can be measured without writing.

#include "radio/codec/frame_bit_writer.h"
#include "radio/codec/wavelet_decoder.h"

#include <cstddef>

namespace lumetra::radio {

// Bits of one value in the value code when its zero count starts at startCount
// (0, or 1 for a value known to be non-zero).
constexpr int ValueCodeBits(int value, int startCount)
{
    const int magnitude = value < 0 ? -value : value;
    if (magnitude == 0)
        return 1;
    if (magnitude <= kMaxSignedZeros)
        return magnitude - startCount + 2;
    return kEscapeZeros - startCount + kEscapeBits;
}

// Bits of the coefficient stream in plain and run-length form.
std::size_t PlainCodeBits(const Coefficients& c);
std::size_t RunLengthCodeBits(const Coefficients& c);

void WritePlainCode(const Coefficients& c, FrameBitWriter& out);
void WriteRunLengthCode(const Coefficients& c, FrameBitWriter& out);

} // namespace lumetra::radio
