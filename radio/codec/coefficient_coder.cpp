#include "radio/codec/coefficient_coder.h"

namespace lumetra::radio {

namespace {

void WriteValue(FrameBitWriter& out, int value, int startCount) {
    const int magnitude = value < 0 ? -value : value;
    if (magnitude == 0) {
        out.Write(1, 1);
    } else if (magnitude <= kMaxSignedZeros) {
        out.WriteZeros(magnitude - startCount);
        out.Write(1, 1);
        out.Write(value < 0 ? 1 : 0, 1);
    } else {
        out.WriteZeros(kEscapeZeros - startCount);
        out.Write(static_cast<uint32_t>(value + kEscapeOffset), kEscapeBits);
    }
}

// Counts bits when out is null.
struct Sink {
    FrameBitWriter* out;
    std::size_t bits = 0;
    void Field(uint32_t v, int n) {
        bits += static_cast<std::size_t>(n);
        if (out) out->Write(v, n);
    }
    void Value(int v, int startCount) {
        bits += static_cast<std::size_t>(ValueCodeBits(v, startCount));
        if (out) WriteValue(*out, v, startCount);
    }
};

// A zero run inside a value run costs a bit per zero; ending the value run there
// costs the zero-count field and the next run's header. Runs at least this long
// are worth cutting out.
int CutLength(int width) { return 2 * width + 2; }

std::size_t RunLength(const Coefficients& c, FrameBitWriter* out) {
    Sink sink{out};
    int width = kRunFieldBits;
    int window = kFrameSamples;
    int p = 0;
    while (p < kFrameSamples) {
        const int maxField = (1 << width) - 1;
        // The value run ends where a long zero run starts, or at the frame end.
        int end = p;
        bool hasZero = false;
        while (end < kFrameSamples && end - p < maxField) {
            if (c[end] != 0) {
                ++end;
                continue;
            }
            int z = end;
            while (z < kFrameSamples && c[z] == 0) ++z;
            if (z == kFrameSamples || z - end >= CutLength(width)) break;
            const int take = std::min(z, p + maxField);
            hasZero = true;
            end = take;
        }
        const int n = end - p;
        const bool nonZero = n > 0 && !hasZero;
        sink.Field(static_cast<uint32_t>(n), width);
        sink.Field(nonZero ? 1 : 0, 1);
        for (int k = p; k < end; ++k) sink.Value(c[k], nonZero ? 1 : 0);
        p = end;
        if (p == kFrameSamples) break;
        int zeros = 0;
        while (p + zeros < kFrameSamples && c[p + zeros] == 0 && zeros < maxField) ++zeros;
        sink.Field(static_cast<uint32_t>(zeros), width);
        p += zeros;
        if (kFrameSamples - p < window / 2 - 1 && width >= 3) {
            --width;
            window /= 2;
        }
    }
    return sink.bits;
}

std::size_t Plain(const Coefficients& c, FrameBitWriter* out) {
    Sink sink{out};
    for (int16_t v : c) sink.Value(v, 0);
    return sink.bits;
}

} // namespace

std::size_t PlainCodeBits(const Coefficients& c) { return Plain(c, nullptr); }
std::size_t RunLengthCodeBits(const Coefficients& c) { return RunLength(c, nullptr); }
void WritePlainCode(const Coefficients& c, FrameBitWriter& out) { Plain(c, &out); }
void WriteRunLengthCode(const Coefficients& c, FrameBitWriter& out) { RunLength(c, &out); }

} // namespace lumetra::radio
