#include "radio/codec/coefficient_coder.h"

#include <algorithm>
#include <array>

namespace lumetra::radio {

namespace {

// Value-code length of every coefficient value, indexed by value + 2048.
constexpr auto kValueBits = [] {
    std::array<uint8_t, 4096> bits{};
    for (int v = kMinCoefficient; v <= kMaxCoefficient; ++v)
        bits[static_cast<std::size_t>(v - kMinCoefficient)] = static_cast<uint8_t>(ValueCodeBits(v, 0));
    return bits;
}();

int Bits(int16_t value, int startCount)
{
    return kValueBits[static_cast<std::size_t>(value - kMinCoefficient)] - startCount;
}

void WriteValue(FrameBitWriter& out, int value, int startCount)
{
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
    void Field(uint32_t v, int n)
    {
        bits += static_cast<std::size_t>(n);
        if (out)
            out->Write(v, n);
    }
    void Value(int v, int startCount)
    {
        bits += static_cast<std::size_t>(Bits(static_cast<int16_t>(v), startCount));
        if (out)
            WriteValue(*out, v, startCount);
    }
};

// A zero run inside a value run costs a bit per zero; ending the value run there
// costs the zero-count field and the next run's header. Runs at least this long
// are worth cutting out.
int CutLength(int width)
{
    return 2 * width + 2;
}

std::size_t RunLength(const Coefficients& c, FrameBitWriter* out)
{
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
            while (z < kFrameSamples && c[z] == 0)
                ++z;
            // A zero run that ends the frame only costs a count field.
            const int cut = z == kFrameSamples ? width + 1 : CutLength(width);
            if (z - end >= cut)
                break;
            const int take = std::min(z, p + maxField);
            hasZero = true;
            end = take;
        }
        const int n = end - p;
        const bool nonZero = n > 0 && !hasZero;
        sink.Field(static_cast<uint32_t>(n), width);
        sink.Field(nonZero ? 1 : 0, 1);
        if (out) {
            for (int k = p; k < end; ++k)
                sink.Value(c[k], nonZero ? 1 : 0);
        } else {
            for (int k = p; k < end; ++k)
                sink.bits += static_cast<std::size_t>(Bits(c[k], nonZero ? 1 : 0));
        }
        p = end;
        if (p == kFrameSamples)
            break;
        int zeros = 0;
        while (p + zeros < kFrameSamples && c[p + zeros] == 0 && zeros < maxField)
            ++zeros;
        sink.Field(static_cast<uint32_t>(zeros), width);
        p += zeros;
        if (kFrameSamples - p < window / 2 - 1 && width >= 3) {
            --width;
            window /= 2;
        }
    }
    return sink.bits;
}

std::size_t Plain(const Coefficients& c, FrameBitWriter* out)
{
    if (!out) {
        std::size_t bits = 0;
        for (int16_t v : c)
            bits += static_cast<std::size_t>(Bits(v, 0));
        return bits;
    }
    Sink sink{out};
    for (int16_t v : c)
        sink.Value(v, 0);
    return sink.bits;
}

} // namespace

std::size_t PlainCodeBits(const Coefficients& c)
{
    return Plain(c, nullptr);
}
std::size_t RunLengthCodeBits(const Coefficients& c)
{
    return RunLength(c, nullptr);
}
void WritePlainCode(const Coefficients& c, FrameBitWriter& out)
{
    Plain(c, &out);
}
void WriteRunLengthCode(const Coefficients& c, FrameBitWriter& out)
{
    RunLength(c, &out);
}

} // namespace lumetra::radio
