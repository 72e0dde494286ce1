#include "mpeg/decoder_context.h"

#include "mpeg/allocation_table.h"
#include "mpeg/bit_reader.h"
#include "mpeg/diagnostics.h"
#include "mpeg/frame_header.h"
#include "mpeg/free_format.h"
#include "mpeg/layer1_decoder.h"
#include "mpeg/layer2_decoder.h"
#include "mpeg/layer3/layer3_decoder.h"
#include "mpeg/layer_samples.h"
#include "mpeg/pcm_samples.h"
#include "mpeg/stream_layout.h"
#include "mpeg/synthesis.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace lumetra::mpeg {
namespace {

constexpr int kReaderBufferSize = 4096;
constexpr int kSyncBits = 12;
constexpr int kSyncSearchSteps = 16384;
// Targets nearer than this to the first sound frame are found by stepping over
// every frame, which is exact for any stream; farther ones of a constant bit
// rate are reached by a jump.
constexpr int64_t kJumpMinBytes = int64_t{1} << 20;
// How far past a jump's landing point a frame boundary is looked for: more
// than two of the longest frames.
constexpr int64_t kJumpSearchBytes = 8192;

const char* const kVersionNames[] = {"MPEG-2 LSF", "MPEG-1", "MPEG-2.5"};
const char* const kLayerNames[] = {"I", "II", "III"};
const char* const kModeNames[] = {"stereo", "j-stereo", "dual-ch", "single-ch", "multi-ch"};

// The seek scan's reading: forward through a buffer of its own with its own
// position, since a stdio seek or tell per frame header costs a system call
// (1.5 million of them to seek through 600 MB).
class ScanCursor {
public:
    ScanCursor(FILE* file, uint8_t* buffer, std::size_t size, int64_t pos)
        : m_file(file), m_buf(buffer), m_size(size), m_pos(pos)
    {
    }
    int64_t Pos() const { return m_pos; }
    int Get()
    {
        if (m_at >= m_len && !Fill())
            return EOF;
        ++m_pos;
        return m_buf[m_at++];
    }
    std::size_t Read(uint8_t* out, std::size_t n)
    {
        std::size_t got = 0;
        for (int c; got < n && (c = Get()) != EOF;)
            out[got++] = static_cast<uint8_t>(c);
        return got;
    }
    void Seek(int64_t pos)
    {
        const int64_t bufferStart = m_pos - static_cast<int64_t>(m_at);
        if (pos >= bufferStart && pos <= bufferStart + static_cast<int64_t>(m_len)) {
            m_at = static_cast<std::size_t>(pos - bufferStart);
        } else {
            m_at = m_len = 0;
        }
        m_pos = pos;
    }

private:
    bool Fill()
    {
        m_at = m_len = 0;
        if (std::fseek(m_file, static_cast<long>(m_pos), SEEK_SET) != 0)
            return false;
        m_len = std::fread(m_buf, 1, m_size, m_file);
        return m_len > 0;
    }

    FILE* m_file;
    uint8_t* m_buf;
    std::size_t m_size;
    int64_t m_pos;
    std::size_t m_at = 0;
    std::size_t m_len = 0;
};

} // namespace

struct DecoderContext::State {
    std::atomic<bool> active{false};
    StreamFormat format;
    bool queueEnded = false;
    BitReader reader;
    FrameHeader header{};
    FrameParams params;
    AllocationTable allocTable{};
    unsigned long frameCounter = 0;
    uint64_t totalBits = 0;
    uint64_t bitsBetweenSyncs = 0;
    int slotBits = 8;
    int samplesPerFrame = 1152;
    int granules = 2;
    int errorProtection = 0;
    uint32_t crcWord = 0;
    int clips = 0;
    int nominalBits = 0;
    bool firstSyncSinceOpen = true;
    bool headerShown = false;
    StreamLayout layout;
    uint8_t scanBuffer[65536];
    bool gapless = false;
    int64_t audioFrame = 0; // sound frames before the next one, from the start of the stream
    // Work buffers, zeroed by each open.
    PcmSamples pcmRows{};
    PcmSamples* pcm = &pcmRows;
    uint32_t sampleCodes[2][3][32] = {};
    float fractions[2][3][32] = {};
    LayerSamples samples{};
    Synthesis synthesis;
    Layer3Decoder layer3;

    void ClearBuffers()
    {
        std::memset(&pcmRows, 0, sizeof pcmRows);
        std::memset(sampleCodes, 0, sizeof sampleCodes);
        std::memset(fractions, 0, sizeof fractions);
        samples.sample = sampleCodes;
        samples.fraction = fractions;
    }

    int64_t ScanToTarget(int64_t target);
    std::optional<int64_t> JumpToTarget(int64_t target);
    int64_t PlaceReader(int64_t at);
    int FrameBits(const FrameHeader& h) const;
    int Trim(int16_t* out, int written, int channels);
    void ShowHeader() const;
    int DecodeLayer1(int16_t* out);
    int DecodeLayer2(int16_t* out);
    void SkipAncillary();
};

DecoderContext::DecoderContext() : m_state(new State) {}

DecoderContext::~DecoderContext()
{
    Close();
    delete m_state;
}

bool DecoderContext::IsOpen() const
{
    return m_state->active.load();
}

int DecoderContext::LastClipCount() const
{
    return m_state->clips;
}

void DecoderContext::SetGapless(bool on)
{
    std::lock_guard lock(m_lock);
    m_state->gapless = on;
}

// Frame length in bits, free-format frames included (their length was measured
// when the stream was opened); 0 when it cannot be told.
int DecoderContext::State::FrameBits(const FrameHeader& h) const
{
    if (h.bitrateIndex != 0)
        return FrameLengthBits(h);
    if (layout.freeFormatBytes <= 0)
        return 0;
    return 8 * (layout.freeFormatBytes + (h.padding ? (h.layer == 1 ? 4 : 1) : 0));
}

// Positions the file at the first frame that starts at or after target (counted
// without the ID3v2 tag) by reading only the 4 header bytes of each frame and
// seeking over its body; returns the samples per channel stepped over. A VBR
// header frame holds no sound: it is stepped over and adds no samples.
int64_t DecoderContext::State::ScanToTarget(int64_t target)
{
    FILE* f = reader.File();
    const int64_t tagSize = layout.audioStart > 0 ? layout.audioStart - 10 : 0;
    const int64_t end = layout.audioEnd;
    ScanCursor in(f, scanBuffer, sizeof scanBuffer, layout.audioStart);

    int64_t startSample = 0;
    audioFrame = 0;
    const int64_t scanStart = in.Pos();
    int c;
    while ((c = in.Get()) != EOF && c != 0xFF) {
    }
    if (c == EOF) {
        // Nothing that could start a frame (or hexadecimal text): the reader
        // takes the stream from where the audio begins.
        in.Seek(scanStart);
    } else {
        bool haveSync = true;
        int64_t syncPos = in.Pos() - 1;
        for (;;) {
            if (in.Pos() - tagSize >= target) {
                if (haveSync)
                    in.Seek(syncPos);
                break;
            }
            if (!haveSync) {
                // A stretch longer than the frame loop's sync search ends the
                // stream when it is played, so a seek ends there too rather than
                // read through (say) gigabytes of zeros.
                int gap = 0;
                while ((c = in.Get()) != EOF && c != 0xFF && ++gap < kSyncSearchSteps / 2) {
                }
                if (c != 0xFF)
                    break;
                syncPos = in.Pos() - 1;
            }
            haveSync = false;
            uint8_t h[4] = {0xFF};
            if (syncPos + 4 > end || in.Read(h + 1, 3) < 3)
                break;
            FrameHeader fh{};
            if (!ParseHeaderBytes(h, fh) || fh.id != format.version || fh.layer != format.layer) {
                in.Seek(in.Pos() - 3);
                continue;
            }
            slotBits = SlotBits(fh.layer);
            samplesPerFrame = SamplesPerFrame(fh.id, fh.layer);
            ++frameCounter;
            const int bits = FrameBits(fh);
            if (bits == 0) {
                if (fh.bitrateIndex == 0)
                    continue; // free format of unknown length: look for the next sync from here
                in.Seek(in.Pos() - 3);
                continue;
            }
            if (nominalBits == 0)
                nominalBits = bits;
            in.Seek(in.Pos() + bits / 8 - 4);
            if (syncPos == layout.firstFrame && layout.vbr)
                continue;
            startSample += samplesPerFrame;
            ++audioFrame;
        }
    }
    // Opening at the VBR header frame starts with the sound after it.
    int64_t at = in.Pos();
    if (layout.vbr && at == layout.firstFrame && layout.firstFrameBytes > 0)
        at += layout.firstFrameBytes;
    PlaceReader(at);
    return startSample;
}

int64_t DecoderContext::State::PlaceReader(int64_t at)
{
    FILE* f = reader.File();
    std::fseek(f, static_cast<long>(at), SEEK_SET);
    reader.SetBitPosition(8 * static_cast<uint64_t>(std::ftell(f)));
    reader.Resync();
    return at;
}

// A constant bit rate stream (no VBR header, or the "Info" header of a constant
// one) has frames of a fixed average length, so the frame at a far target is
// found by going straight to it, and the samples before it follow from the
// bytes: a seek in an hours-long stream file reads a few kilobytes, not the
// whole file. A landing place is taken when its header and the next one agree
// with the first frame; nothing of the kind near the target means the rate is
// not constant after all, and the caller steps over the frames instead.
std::optional<int64_t> DecoderContext::State::JumpToTarget(int64_t target)
{
    const FrameHeader& first = layout.first;
    if (layout.firstFrame < 0 || first.bitrateIndex == 0 || first.id != format.version ||
        first.layer != format.layer || (layout.vbr && layout.vbr->kind != VbrHeader::Kind::Info))
        return std::nullopt;
    const int hz = SampleRateHz(first.id, first.samplingFrequency);
    const int64_t bitsPerSecond = int64_t{1000} * BitrateKbps(first.id, first.layer, first.bitrateIndex);
    const int spf = SamplesPerFrame(first.id, first.layer);
    const int64_t soundStart = layout.firstFrame + (layout.vbr ? layout.firstFrameBytes : 0);
    // The scan takes the first frame whose sync byte lies at or after this place.
    const int64_t tagSize = layout.audioStart > 0 ? layout.audioStart - 10 : 0;
    const int64_t from = std::max(target + tagSize - 1, soundStart);
    if (hz <= 0 || bitsPerSecond <= 0 || from - soundStart < kJumpMinBytes)
        return std::nullopt;

    auto matches = [&](const uint8_t* bytes, FrameHeader& h) {
        return ParseHeaderBytes(bytes, h) && h.id == first.id && h.layer == first.layer &&
               h.bitrateIndex == first.bitrateIndex && h.samplingFrequency == first.samplingFrequency;
    };
    // Frames before the one at `at`: bytes x rate / (bits per frame), to the nearest.
    auto land = [&](int64_t at) {
        const int64_t perFrame = int64_t{spf} * bitsPerSecond;
        const int64_t index = ((at - soundStart) * 8 * hz + perFrame / 2) / perFrame;
        slotBits = SlotBits(first.layer);
        samplesPerFrame = spf;
        nominalBits = FrameLengthBits(first);
        frameCounter = static_cast<unsigned long>(index + (layout.vbr ? 1 : 0));
        audioFrame = index;
        PlaceReader(at);
        return index * spf;
    };
    ScanCursor in(reader.File(), scanBuffer, sizeof scanBuffer, from);
    for (int64_t at = from; at < from + kJumpSearchBytes; in.Seek(++at)) {
        uint8_t h[4];
        FrameHeader fh{};
        // Past the last frame (a seek to the end): playing ends there.
        if (in.Read(h, 4) < 4)
            return land(std::min(at, layout.audioEnd));
        if (!matches(h, fh))
            continue;
        const int bytes = FrameLengthBits(fh) / 8;
        in.Seek(at + bytes);
        FrameHeader next{};
        // A growing stream may not hold the next frame yet.
        if (in.Read(h, 4) == 4 && !matches(h, next))
            continue;
        return land(at);
    }
    return std::nullopt;
}

// With gapless decoding, keeps only the part of the frame just decoded that
// lies between the encoder's delay and its padding; returns the values kept.
int DecoderContext::State::Trim(int16_t* out, int written, int channels)
{
    const int64_t index = audioFrame++;
    if (!gapless || !layout.Gapless() || written != samplesPerFrame * channels)
        return written;
    const int64_t first = index * samplesPerFrame;
    const int64_t from = std::max(first, layout.TrimStart());
    const int64_t to = std::min(first + samplesPerFrame, layout.TrimStart() + layout.TrimmedLength());
    if (to <= from)
        return 0;
    if (from > first)
        std::memmove(out, out + (from - first) * channels,
                     sizeof(int16_t) * static_cast<std::size_t>((to - from) * channels));
    return static_cast<int>((to - from) * channels);
}

std::optional<int64_t> DecoderContext::Open(const char* path, const StreamFormat& format, int64_t targetOffset)
{
    std::lock_guard lock(m_lock);
    State& s = *m_state;
    if (s.active.load()) {
        s.reader.Close();
    }
    s.nominalBits = 0;
    s.frameCounter = 0;
    s.totalBits = 0;
    s.bitsBetweenSyncs = 0;
    s.clips = 0;
    s.firstSyncSinceOpen = true;
    s.headerShown = false;
    s.queueEnded = false;
    s.format = format;
    s.active = true;
    s.layer3.ResetForOpen();

    s.ClearBuffers();
    s.params = FrameParams{};
    s.params.header = &s.header;
    s.params.tableNumber = -1;
    s.params.alloc = &s.allocTable;

    if (!s.reader.Open(path, kReaderBufferSize)) {
        s.queueEnded = true;
        return std::nullopt;
    }
    if (!s.reader.IsHexText()) {
        s.layout = ReadStreamLayout(s.reader.File());
        // Tags at the end are not sound; a file without them may still be
        // growing (an HTTP stream) and is read to wherever it ends.
        if (s.layout.audioEnd < s.layout.fileSize)
            s.reader.SetEnd(static_cast<long>(s.layout.audioEnd));
    } else {
        s.layout = StreamLayout{};
        std::fseek(s.reader.File(), 0, SEEK_END);
        s.layout.audioEnd = std::ftell(s.reader.File());
    }
    s.params.freeFormatKbps = s.layout.freeFormatKbps;
    if (s.layout.freeFormatBytes > 0)
        s.nominalBits = 8 * s.layout.freeFormatBytes;
    s.layer3.SetFreeFormatBytes(s.layout.freeFormatBytes);
    if (!s.reader.IsHexText())
        if (const auto start = s.JumpToTarget(targetOffset))
            return *start;
    return s.ScanToTarget(targetOffset);
}

void DecoderContext::State::ShowHeader() const
{
    const FrameHeader& h = header;
    DiagOut("HDR: s=FFF, id=%X, l=%X, ep=%s, br=%X, sf=%X, pd=%X, ", h.id, h.layer, h.errorProtection ? "on" : "off",
            h.bitrateIndex, h.samplingFrequency, h.padding);
    DiagOut("pr=%X, m=%X, js=%X, c=%X, o=%X, e=%X\n", h.extension, h.mode, h.modeExt, h.copyright, h.original,
            h.emphasis);
    DiagOut("alg.=%s, layer=%s, tot bitrate=%d, sfrq=%.1f\n", kVersionNames[h.id % 3], kLayerNames[(h.layer - 1) % 3],
            BitrateKbps(h.id, h.layer, h.bitrateIndex), SampleRateKhz(h.id, h.samplingFrequency));
    DiagOut("mode=%s, sblim=%d, jsbd=%d, ch=%d\n", kModeNames[h.mode & 3], params.sbLimit, params.jsBound,
            params.stereo);
}

int DecoderContext::State::DecodeLayer1(int16_t* out)
{
    layer1::ReadAllocation(reader, params, samples);
    layer1::ReadScaleFactors(reader, params, samples);
    if (errorProtection && layer1::Crc(params, samples) != crcWord)
        return 0;
    int16_t* start = out;
    for (int block = 0; block < 12; ++block) {
        layer1::ReadBlock(reader, params, samples, block % 3);
        if (block % 3 < 2)
            continue;
        for (int ch = 0; ch < params.stereo; ++ch)
            clips += synthesis.SynthesizeSlots(samples.fraction[ch], 3, ch, pcm->s[ch]);
        out = WritePcmRows(*pcm, 3, params.stereo, out);
    }
    if (clips)
        DiagOut("%d output samples clipped\n", clips);
    return static_cast<int>(out - start);
}

int DecoderContext::State::DecodeLayer2(int16_t* out)
{
    layer2::ReadAllocation(reader, params, samples);
    layer2::ReadScaleFactors(reader, params, samples);
    if (errorProtection && layer2::Crc(params, samples) != crcWord)
        return 0;
    int16_t* start = out;
    for (int i = 0; i < 12; ++i) {
        layer2::ReadTriple(reader, params, i / 4, samples);
        for (int ch = 0; ch < params.stereo; ++ch)
            clips += synthesis.SynthesizeSlots(samples.fraction[ch], 3, ch, pcm->s[ch]);
        out = WritePcmRows(*pcm, 3, params.stereo, out);
    }
    if (clips)
        DiagOut("%d samples clipped\n", clips);
    return static_cast<int>(out - start);
}

// Frames may carry ancillary data after the audio; short remainders are read
// away here, longer ones are left to the next sync search.
void DecoderContext::State::SkipAncillary()
{
    const int64_t frameBits = FrameBits(header);
    if (frameBits == 0)
        return;
    const int64_t used = static_cast<int64_t>(reader.BitPosition() - totalBits) + 12;
    const int64_t rest = frameBits - used;
    if (rest > 0 && rest < 64)
        for (int64_t i = 0; i < rest; ++i)
            reader.ReadBits(1);
}

FrameResult DecoderContext::DecodeNextFrame(std::span<int16_t> out)
{
    State& s = *m_state;
    FrameResult result;
    if (!s.active.load())
        return result;
    std::lock_guard lock(m_lock);
    if (!s.active.load())
        return result;
    const int channels = s.format.channels == 1 ? 1 : 2;
    if (!s.reader.IsOpen() || s.reader.AtEnd() || s.queueEnded || out.size() < std::size_t{1152} * channels)
        return result;

    for (;;) {
        const int found = s.reader.FindSync(SyncWordFor(s.format.version), kSyncBits, kSyncSearchSteps);
        s.bitsBetweenSyncs = s.reader.BitPosition() - s.totalBits;
        s.totalBits += s.bitsBetweenSyncs;
        result.streamReadPos = static_cast<int64_t>(s.totalBits / 8);
        if (!found) {
            WritePcmRows(*s.pcm, s.format.layer == 1 ? 1 : 3, channels, out.data());
            DiagErr("Frame cannot be located\n");
            DiagErr("Input stream may be empty\n");
            s.queueEnded = true;
            result.status = FrameStatus::EndNoSync;
            return result;
        }
        if (!s.firstSyncSinceOpen && s.bitsBetweenSyncs % static_cast<uint64_t>(s.slotBits) != 0)
            DiagOut("Got %ld bits = %ld slots plus %ld\n", static_cast<long>(s.bitsBetweenSyncs),
                    static_cast<long>(s.bitsBetweenSyncs / s.slotBits),
                    static_cast<long>(s.bitsBetweenSyncs % s.slotBits));
        ReadFrameHeader(s.reader, s.header, s.format.version == kIdMpeg25);
        const FrameHeader& h = s.header;
        // Stereo, joint stereo and dual channel frames mix freely within a stream
        // (encoders switch per frame); only the channel count is locked.
        const bool sameChannels = (h.mode == kModeSingleChannel) == (s.format.mode == kModeSingleChannel);
        const bool accept = h.bitrateIndex != 15 && h.samplingFrequency != 3 && h.id == s.format.version &&
                            h.layer == s.format.layer && sameChannels &&
                            static_cast<int>(SampleRateKhz(h.id, h.samplingFrequency) * 1000) == s.format.sampleRate;
        const bool firstSync = s.firstSyncSinceOpen;
        s.firstSyncSinceOpen = false;
        if (accept) {
            if (s.nominalBits == 0 && !firstSync)
                s.nominalBits = static_cast<int>(s.bitsBetweenSyncs);
            DeriveFrameParams(s.params);
            if (s.params.jsBound == -1 || h.layer < 1 || h.layer > 3) {
                s.queueEnded = true;
                result.status = FrameStatus::EndNoSync;
                return result;
            }
            break;
        }
        if (s.nominalBits > 0) {
            // Land on the next multiple of the nominal length from the start of
            // the file, where the next frame of a constant-length stream starts.
            const uint64_t L = static_cast<uint64_t>(s.nominalBits);
            const uint64_t next = (s.totalBits / L + 1) * L;
            const uint64_t now = s.totalBits + 20;
            uint64_t skip = next > now ? next - now : 0;
            for (; skip >= 32; skip -= 32)
                s.reader.SkipBits(32);
            s.reader.SkipBits(static_cast<int>(skip));
        }
        if (s.reader.AtEnd())
            return result;
    }

    const FrameHeader& h = s.header;
    s.granules = h.id == 1 ? 2 : 1;
    s.errorProtection = h.errorProtection;
    if (s.errorProtection)
        s.crcWord = s.reader.ReadBits(16);
    ++s.frameCounter;
    if (!s.headerShown) {
        s.ShowHeader();
        s.headerShown = true;
    }
    DiagOut("{%4lu}", s.frameCounter);

    s.clips = 0;
    int written = 0;
    s.slotBits = SlotBits(h.layer);
    s.samplesPerFrame = SamplesPerFrame(h.id, h.layer);
    int16_t* const start = out.data();
    switch (h.layer) {
    case 1:
        written = s.DecodeLayer1(start);
        break;
    case 2:
        written = s.DecodeLayer2(start);
        break;
    default: {
        int16_t* end = start;
        s.clips = s.layer3.DecodeFrame(s.reader, h, s.params, s.synthesis, *s.pcm, end);
        written = static_cast<int>(end - start);
        if (s.clips)
            DiagOut("%d samples clipped.\n", s.clips);
        break;
    }
    }

    s.SkipAncillary();
    const bool decoded = written > 0;
    written = s.Trim(start, written, s.params.stereo);
    result.status = decoded ? FrameStatus::Decoded : FrameStatus::Dropped;
    result.values = written;
    result.samplesPerFrame = s.samplesPerFrame;
    result.frameIndex = static_cast<int32_t>(s.frameCounter - 1);
    return result;
}

void DecoderContext::Close()
{
    State& s = *m_state;
    if (!s.active.load())
        return;
    std::lock_guard lock(m_lock);
    if (!s.active.load())
        return;
    s.reader.Close();
    s.active = false;
}

DecoderContext& TheDecoder()
{
    static DecoderContext context;
    return context;
}

} // namespace lumetra::mpeg
