#include "platform/media/midi_file.h"

#include <algorithm>
#include <cstring>

namespace lumetra::platform::media {
namespace {

constexpr int64_t kDefaultTempo = 500000; // microseconds per quarter note (120 bpm)
constexpr std::size_t kMaxTempoChanges = 1 << 16;

uint32_t Be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint32_t Le32(const uint8_t* p)
{
    return (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

// The "data" chunk of a RIFF RMID file, or the bytes themselves.
std::span<const uint8_t> UnwrapRiff(std::span<const uint8_t> bytes)
{
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "RMID", 4) != 0)
        return bytes;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        uint64_t size = Le32(bytes.data() + at + 4);
        if (std::memcmp(bytes.data() + at, "data", 4) == 0)
            return bytes.subspan(at + 8, std::min<uint64_t>(size, bytes.size() - at - 8));
        at += 8 + size + (size & 1);
    }
    return {};
}

class TrackReader {
public:
    explicit TrackReader(std::span<const uint8_t> data) : m_data(data) {}
    bool AtEnd() const { return m_at >= m_data.size(); }
    bool Byte(uint8_t& b)
    {
        if (m_at >= m_data.size())
            return false;
        b = m_data[m_at++];
        return true;
    }
    bool Quantity(uint32_t& value)
    {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b;
            if (!Byte(b))
                return false;
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80))
                return true;
        }
        return false;
    }
    bool Skip(uint64_t n)
    {
        if (n > m_data.size() - m_at)
            return false;
        m_at += n;
        return true;
    }
    const uint8_t* Here() const { return m_data.data() + m_at; }

private:
    std::span<const uint8_t> m_data;
    std::size_t m_at = 0;
};

// Walks one track's events; false with error set when they run past its end.
bool ScanTrack(std::span<const uint8_t> data, MidiTiming& timing, std::string& error)
{
    TrackReader r(data);
    int64_t tick = 0;
    uint8_t running = 0;
    while (!r.AtEnd()) {
        uint32_t delta;
        uint8_t status;
        if (!r.Quantity(delta) || !r.Byte(status)) {
            error = "a MIDI track ends inside an event";
            return false;
        }
        tick += delta;
        if (status == 0xFF) {
            uint8_t type;
            uint32_t length;
            if (!r.Byte(type) || !r.Quantity(length) || !r.Skip(0)) {
                error = "a MIDI track ends inside an event";
                return false;
            }
            const uint8_t* body = r.Here();
            if (!r.Skip(length)) {
                error = "a MIDI track ends inside an event";
                return false;
            }
            if (type == 0x51 && length == 3 && timing.tempo.size() < kMaxTempoChanges)
                timing.tempo.push_back({tick, (int64_t(body[0]) << 16) | (body[1] << 8) | body[2]});
            timing.lastTick = std::max(timing.lastTick, tick);
            if (type == 0x2F)
                return true;
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {
            uint32_t length;
            if (!r.Quantity(length) || !r.Skip(length)) {
                error = "a MIDI track ends inside an event";
                return false;
            }
            timing.lastTick = std::max(timing.lastTick, tick);
            continue;
        }
        int dataBytes;
        if (status & 0x80) {
            running = status;
            dataBytes = ((status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0) ? 1 : 2;
        } else {
            if (!running) {
                error = "a MIDI track has data without a status";
                return false;
            }
            dataBytes = ((running & 0xF0) == 0xC0 || (running & 0xF0) == 0xD0) ? 0 : 1;
        }
        if (!r.Skip(static_cast<uint64_t>(dataBytes))) {
            error = "a MIDI track ends inside an event";
            return false;
        }
        timing.lastTick = std::max(timing.lastTick, tick);
    }
    return true;
}

} // namespace

MidiTiming ScanMidi(std::span<const uint8_t> bytes)
{
    MidiTiming timing;
    std::span<const uint8_t> smf = UnwrapRiff(bytes);
    if (smf.size() < 14 || std::memcmp(smf.data(), "MThd", 4) != 0 || Be32(smf.data() + 4) < 6) {
        timing.error = "not a standard MIDI file";
        return timing;
    }
    const uint8_t* h = smf.data() + 8;
    int tracks = (h[2] << 8) | h[3];
    int16_t division = static_cast<int16_t>((h[4] << 8) | h[5]);
    if (division == 0 || (division < 0 && (division & 0xFF) == 0)) {
        timing.error = "the MIDI file has no time division";
        return timing;
    }
    timing.division = division;
    uint64_t at = 8 + uint64_t(Be32(smf.data() + 4));
    int found = 0;
    while (found < tracks) {
        if (at + 8 > smf.size()) {
            timing.error =
                "truncated MIDI file: " + std::to_string(found) + " of " + std::to_string(tracks) + " tracks";
            return timing;
        }
        uint64_t length = Be32(smf.data() + at + 4);
        if (length > smf.size() - at - 8) {
            timing.error = "truncated MIDI file: track " + std::to_string(found + 1) + " is cut short";
            return timing;
        }
        if (std::memcmp(smf.data() + at, "MTrk", 4) == 0) {
            if (!ScanTrack(smf.subspan(at + 8, length), timing, timing.error))
                return timing;
            ++found;
        }
        at += 8 + length;
    }
    std::stable_sort(timing.tempo.begin(), timing.tempo.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    if (timing.tempo.empty() || timing.tempo.front().tick != 0)
        timing.tempo.insert(timing.tempo.begin(), TempoChange{0, kDefaultTempo});
    timing.smf = smf;
    timing.ok = tracks > 0;
    if (!timing.ok)
        timing.error = "the MIDI file has no tracks";
    return timing;
}

int64_t MidiTiming::TickToMs(int64_t tick) const
{
    if (division < 0) {
        // SMPTE: frames per second times ticks per frame.
        int64_t perSecond = int64_t(-(division >> 8)) * (division & 0xFF);
        return perSecond > 0 ? tick * 1000 / perSecond : 0;
    }
    // Microseconds, summed over the tempo segments before tick.
    int64_t micros = 0;
    for (std::size_t i = 0; i < tempo.size() && tempo[i].tick < tick; ++i) {
        int64_t end = i + 1 < tempo.size() ? std::min(tick, tempo[i + 1].tick) : tick;
        micros += (end - tempo[i].tick) * tempo[i].microsPerQuarter / division;
    }
    return micros / 1000;
}

int64_t MidiTiming::MsToTick(int64_t ms) const
{
    if (division < 0) {
        int64_t perSecond = int64_t(-(division >> 8)) * (division & 0xFF);
        return ms * perSecond / 1000;
    }
    int64_t micros = ms * 1000;
    for (std::size_t i = 0; i < tempo.size(); ++i) {
        int64_t perQuarter = std::max<int64_t>(tempo[i].microsPerQuarter, 1);
        if (i + 1 < tempo.size()) {
            int64_t span = (tempo[i + 1].tick - tempo[i].tick) * perQuarter / division;
            if (micros >= span) {
                micros -= span;
                continue;
            }
        }
        return tempo[i].tick + micros * division / perQuarter;
    }
    return 0;
}

} // namespace lumetra::platform::media
