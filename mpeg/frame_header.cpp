#include "mpeg/frame_header.h"

#include "mpeg/bit_reader.h"
#include "mpeg/layer2_decoder.h"
#include "mpeg/tables.h"

namespace lumetra::mpeg {

bool DecodeFrameHeader(uint32_t bits, bool lowSync, FrameHeader& h)
{
    const auto field = [bits](int from, int width) {
        return static_cast<int32_t>((bits >> (20 - from - width)) & ((1u << width) - 1u));
    };
    h.id = field(0, 1);
    if (lowSync)
        h.id = h.id ? kIdReserved : kIdMpeg25;
    h.layer = 4 - field(1, 2);
    h.errorProtection = field(3, 1) ? 0 : 1;
    h.bitrateIndex = field(4, 4);
    h.samplingFrequency = field(8, 2);
    h.padding = field(10, 1);
    h.extension = field(11, 1);
    h.mode = field(12, 2);
    h.modeExt = field(14, 2);
    h.copyright = field(16, 1);
    h.original = field(17, 1);
    h.emphasis = field(18, 2);
    return h.id != kIdReserved && h.layer != 4 && h.bitrateIndex != 15 && h.samplingFrequency != 3;
}

bool ReadFrameHeader(BitReader& reader, FrameHeader& h, bool lowSync)
{
    return DecodeFrameHeader(reader.ReadBits(20), lowSync, h);
}

bool ParseHeaderBytes(const uint8_t* p, FrameHeader& h)
{
    const uint32_t word = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
    const uint32_t sync = word >> 20;
    if ((sync != 0xFFF && sync != 0xFFE) || (sync == 0xFFE && (word >> 19 & 1)))
        return false; // no sync word, or the reserved version
    return DecodeFrameHeader(word & 0xFFFFF, sync == 0xFFE, h);
}

int BitrateKbps(int id, int layer, int bitrateIndex)
{
    if (id < 0 || id > 2 || layer < 1 || layer > 3 || bitrateIndex < 0 || bitrateIndex > 14)
        return 0;
    return tables::kBitrateKbps[id][layer - 1][bitrateIndex];
}

double SampleRateKhz(int id, int samplingFrequency)
{
    if (id < 0 || id > 2 || samplingFrequency < 0 || samplingFrequency > 3)
        return 0.0;
    return tables::kSampleRateKhz[id][samplingFrequency];
}

int SampleRateHz(int id, int samplingFrequency)
{
    if (id < 0 || id > 2 || samplingFrequency < 0 || samplingFrequency > 3)
        return 0;
    return tables::kSampleRateHz[id][samplingFrequency];
}

int SamplesPerFrame(int id, int layer)
{
    if (layer == 1)
        return 384;
    if (layer == 3 && id != 1)
        return 576;
    return 1152;
}

int SlotBits(int layer)
{
    return layer == 1 ? 32 : 8;
}

int FrameLengthBits(const FrameHeader& h)
{
    if (h.layer < 1 || h.layer > 3)
        return 0;
    double khz = SampleRateKhz(h.id, h.samplingFrequency);
    int kbps = BitrateKbps(h.id, h.layer, h.bitrateIndex);
    if (khz == 0.0 || kbps == 0)
        return 0;
    const int slotBits = SlotBits(h.layer);
    int slots = static_cast<int>(SamplesPerFrame(h.id, h.layer) / khz * kbps / slotBits);
    if (slots == 0)
        return 0;
    if (h.padding)
        ++slots;
    return slots * slotBits;
}

void DeriveFrameParams(FrameParams& p)
{
    static constexpr int kJsBound[3][4] = {{4, 8, 12, 16}, {4, 8, 12, 16}, {0, 4, 8, 16}};
    const FrameHeader& h = *p.header;
    p.actualMode = h.mode;
    p.stereo = h.mode == kModeSingleChannel ? 1 : 2;
    if (h.layer == 2)
        p.sbLimit = ChooseAllocationTable(p);
    else
        p.sbLimit = 32;
    if (h.mode == kModeJointStereo) {
        if (h.layer < 1 || h.layer > 3 || h.modeExt < 0 || h.modeExt > 3)
            p.jsBound = -1;
        else
            p.jsBound = kJsBound[h.layer - 1][h.modeExt];
    } else {
        p.jsBound = p.sbLimit;
    }
}

} // namespace lumetra::mpeg
