#include "mpeg/layer3/huffman_decoder.h"

#include "mpeg/diagnostics.h"
#include "mpeg/layer3/requantizer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace lumetra::mpeg {
namespace {

constexpr int kMaxCodeBits = 32;

void ReportIllegalCode()
{
    DiagErr("Illegal Huffman code in data.\n");
}

uint32_t ConcealedValue(const HuffmanTable& t)
{
    const uint32_t x = t.xlen ? 2 * (t.xlen - 1) : 0;
    const uint32_t y = t.ylen ? 2 * (t.ylen - 1) : 0;
    return (x << 4) | (y & 0xf);
}

// One value of a pair: escape bits when it is the table's largest, then a sign.
template <class Window>
inline int32_t ReadMagnitudeAndSign(Window& w, uint32_t v, const HuffmanTable& t)
{
    if (t.linbits && v == t.xlen - 1)
        v += w.Take(static_cast<int>(t.linbits));
    if (v == 0)
        return 0;
    return w.Take(1) ? -static_cast<int32_t>(v) : static_cast<int32_t>(v);
}

} // namespace

namespace {

int WalkFrom(const HuffmanTable& t, uint32_t window, uint32_t point, int used, uint32_t& value)
{
    const uint8_t(*tree)[2] = t.tree;
    const uint32_t length = t.treeLength;
    while (tree[point][0] != 0) {
        if (used == kMaxCodeBits)
            return -1;
        const int bit = static_cast<int>((window >> (31 - used)) & 1);
        ++used;
        uint32_t offset;
        while ((offset = tree[point][bit]) >= kHuffmanJump) {
            point += offset;
            if (point >= length)
                return -1;
        }
        point += offset;
        if (point >= length)
            return -1;
    }
    value = tree[point][1];
    return used;
}

// The walk with its first bits taken from the table's lookup.
inline int DecodeCode(const HuffmanTable& t, uint32_t window, uint32_t& value)
{
    const HuffmanLookupEntry e = t.lookup[window >> (32 - kHuffmanLookupBits)];
    if (e.kind == HuffmanLookupEntry::kLeaf) {
        value = e.target;
        return e.bits;
    }
    if (e.kind == HuffmanLookupEntry::kNode)
        return WalkFrom(t, window, e.target, e.bits, value);
    return WalkFrom(t, window, 0, 0, value);
}

// Applies the sign bit that follows a non-zero value in window at used
// (below 32). Without branches: whether a value is 0 cannot be predicted.
inline int32_t Signed(uint32_t v, uint32_t window, int& used)
{
    const uint32_t present = v != 0;
    const int32_t negative = -static_cast<int32_t>(((window << used) >> 31) & present);
    used += static_cast<int>(present);
    return (static_cast<int32_t>(v) ^ negative) - negative;
}

// The reservoir's next bits, 32 to 64 of them held in a register, so that a
// code costs a shift instead of a ring lookup. The bits are those PeekAt gives.
class BitWindow {
public:
    BitWindow(const BitReservoir& r, int32_t pos) : m_reservoir(r), m_next(pos) {}
    // The next 32 bits.
    uint32_t Peek()
    {
        if (m_have < 32) {
            m_cache |= static_cast<uint64_t>(m_reservoir.PeekAt(m_next)) << (32 - m_have);
            m_next += 32;
            m_have += 32;
        }
        return static_cast<uint32_t>(m_cache >> 32);
    }
    // n up to 32, after a Peek.
    void Skip(int n)
    {
        m_cache <<= n;
        m_have -= n;
    }
    uint32_t Take(int n)
    {
        const uint32_t v = Peek() >> (32 - n);
        Skip(n);
        return v;
    }
    int32_t Position() const { return m_next - m_have; }

private:
    const BitReservoir& m_reservoir;
    uint64_t m_cache = 0;
    int m_have = 0;
    int32_t m_next;
};

} // namespace

int WalkHuffmanTree(const HuffmanTable& t, uint32_t window, uint32_t& value)
{
    return WalkFrom(t, window, 0, 0, value);
}

int DecodeHuffmanCode(const HuffmanTable& t, uint32_t window, uint32_t& value)
{
    return t.lookup ? DecodeCode(t, window, value) : WalkFrom(t, window, 0, 0, value);
}

namespace {

// Quantised values as they are.
struct QuantizedSink {
    int32_t* q;
    void Pair(int i, int32_t x, int32_t y)
    {
        q[i] = x;
        q[i + 1] = y;
    }
    void Zero(int begin, int end)
    {
        if (begin < end)
            std::memset(q + begin, 0, sizeof(int32_t) * (end - begin));
    }
};

// Values requantised on the way, with the gain of their run of lines. Pairs
// never straddle runs: every run starts at an even line.
struct RequantizingSink {
    float* xr;
    const GainSegments& segments;
    const float* power;
    int segment = 0;
    int segmentEnd;
    float gain;

    RequantizingSink(float* out, const GainSegments& s)
        : xr(out), segments(s), power(PowerTable()), segmentEnd(s.count ? s.end[0] : kGranuleLines),
          gain(s.count ? s.gain[0] : 0.0f)
    {
    }
    void Pair(int i, int32_t x, int32_t y)
    {
        while (i >= segmentEnd && segment + 1 < segments.count) {
            ++segment;
            segmentEnd = segments.end[segment];
            gain = segments.gain[segment];
        }
        xr[i] = RequantizeValue(x, gain, power);
        xr[i + 1] = RequantizeValue(y, gain, power);
    }
    void Zero(int begin, int end)
    {
        if (begin < end)
            std::memset(xr + begin, 0, sizeof(float) * (end - begin));
    }
};

template <class Sink>
int DecodeInto(BitReservoir& reservoir, const GranuleChannelInfo& g, const int16_t longBands[23],
               const HuffmanTables& tables, int32_t partEnd, Sink& sink)
{
    int region1, region2;
    if (g.windowSwitching && g.blockType == 2) {
        region1 = g.shortRegion1;
        region2 = kGranuleLines;
    } else {
        region1 = longBands[std::min(g.region0Count + 1, 22)];
        region2 = longBands[std::min(g.region0Count + g.region1Count + 2, 22)];
    }
    const int bigEnd = std::min(2 * g.bigValues, kGranuleLines);
    region1 = std::min(region1, bigEnd);
    region2 = std::clamp(region2, region1, bigEnd);
    const int bounds[4] = {0, region1, region2, bigEnd};

    // Data past what the reservoir received (a damaged frame) is not decoded:
    // the granule's remaining values stay 0.
    const int32_t limit = reservoir.WrittenBits();
    const int32_t dataEnd = std::min(partEnd, limit);
    BitWindow bits(reservoir, reservoir.Position());
    int i = 0;
    bool truncated = false;
    for (int region = 0; region < 3 && !truncated; ++region) {
        const HuffmanTable& t = tables[g.tableSelect[region] & 31];
        const int end = bounds[region + 1];
        if (!t.tree || t.treeLength == 0) {
            sink.Zero(i, end);
            i = std::max(i, end);
            continue;
        }
        // Values that need escape bits: the largest of a table with linbits.
        const uint32_t escape = t.linbits ? t.xlen - 1 : 0x100;
        for (; i < end; i += 2) {
            const uint32_t window = bits.Peek();
            uint32_t leaf;
            int used = DecodeCode(t, window, leaf);
            if (used < 0) {
                ReportIllegalCode();
                leaf = ConcealedValue(t);
                used = kMaxCodeBits;
            }
            const uint32_t x = leaf >> 4, y = leaf & 0xf;
            if (used <= 30 && x != escape && y != escape) {
                // Both signs still lie within the window.
                const int32_t sx = Signed(x, window, used);
                const int32_t sy = Signed(y, window, used);
                sink.Pair(i, sx, sy);
                bits.Skip(used);
            } else {
                bits.Skip(used);
                const int32_t sx = ReadMagnitudeAndSign(bits, x, t);
                const int32_t sy = ReadMagnitudeAndSign(bits, y, t);
                sink.Pair(i, sx, sy);
            }
            if (bits.Position() > limit) {
                truncated = true;
                break;
            }
        }
    }

    const HuffmanTable& quad = tables[32 + (g.count1TableSelect & 1)];
    if (!truncated && quad.tree && quad.treeLength) {
        while (bits.Position() < dataEnd && i + 4 <= kGranuleLines) {
            const uint32_t window = bits.Peek();
            uint32_t leaf;
            int used = DecodeCode(quad, window, leaf);
            int32_t v[4];
            if (used >= 0 && used <= 28) {
                // The code and its up to four signs lie within the window.
                for (int k = 0; k < 4; ++k)
                    v[k] = Signed((leaf >> (3 - k)) & 1, window, used);
                bits.Skip(used);
            } else {
                if (used < 0) {
                    ReportIllegalCode();
                    leaf = ConcealedValue(quad);
                    used = kMaxCodeBits;
                }
                bits.Skip(used);
                for (int k = 0; k < 4; ++k) {
                    v[k] = (leaf >> (3 - k)) & 1;
                    if (v[k] && bits.Take(1))
                        v[k] = -1;
                }
            }
            sink.Pair(i, v[0], v[1]);
            sink.Pair(i + 2, v[2], v[3]);
            i += 4;
            if (bits.Position() > dataEnd)
                i -= 4; // the last quadruple ran past this channel's data
        }
    }
    reservoir.SetPosition(partEnd);
    sink.Zero(i, kGranuleLines);
    return i;
}

} // namespace

int DecodeHuffman(BitReservoir& reservoir, const GranuleChannelInfo& g, const int16_t longBands[23],
                  const HuffmanTables& tables, int32_t partEnd, int32_t q[kGranuleLines])
{
    QuantizedSink sink{q};
    return DecodeInto(reservoir, g, longBands, tables, partEnd, sink);
}

int DecodeHuffmanRequantized(BitReservoir& reservoir, const GranuleChannelInfo& g, const int16_t longBands[23],
                             const HuffmanTables& tables, int32_t partEnd, const GainSegments& gains,
                             float xr[kGranuleLines])
{
    RequantizingSink sink(xr, gains);
    return DecodeInto(reservoir, g, longBands, tables, partEnd, sink);
}

} // namespace lumetra::mpeg
