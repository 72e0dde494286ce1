#include "platform/audio/clock_sink.h"

#include <algorithm>
#include <cstring>

namespace lumetra::platform::audio {

ClockSink::ClockSink(bool fast, std::unique_ptr<WavFileWriter> writer) : m_fast(fast), m_writer(std::move(writer)) {}

int ClockSink::Open(const WaveFormat& format)
{
    m_bytesPerSec = std::max<uint32_t>(1, format.avgBytesPerSec);
    m_blockAlign = std::max<uint32_t>(1, format.blockAlign);
    // Ahead of the clock by a second with nothing recorded: the thread refills
    // half of it twice a second, handing back what played meanwhile, and rides
    // over any late wake-up. A recording hears a volume change as a listener
    // would, so there the lead is 300 ms, refilled about seven times a second.
    const uint64_t leadMs = m_writer ? 300 : 1000;
    m_leadBytes = std::max<size_t>(m_blockAlign, m_bytesPerSec * leadMs / 1000 / m_blockAlign * m_blockAlign);
    m_unplayed.reserve(m_leadBytes + 65536);
    m_anchorTime = Clock::now();
    return kWaveOk;
}

void ClockSink::Advance()
{
    if (m_fast || m_paused)
        return;
    auto now = Clock::now();
    auto elapsedUs = std::chrono::duration_cast<std::chrono::microseconds>(now - m_anchorTime).count();
    uint64_t reach = m_anchorPlayed + static_cast<uint64_t>(elapsedUs) * m_bytesPerSec / 1000000;
    reach -= reach % m_blockAlign;
    uint64_t next = std::min(reach, m_written);
    if (next > m_played) {
        size_t n = static_cast<size_t>(next - m_played);
        if (m_writer) {
            m_writer->Append(m_unplayed.data(), n);
            m_unplayed.erase(m_unplayed.begin(), m_unplayed.begin() + static_cast<std::ptrdiff_t>(n));
        }
        m_played = next;
    }
    if (reach >= m_written) {
        // Ran dry: the clock waits for the next write.
        m_anchorTime = now;
        m_anchorPlayed = m_played;
    }
}

size_t ClockSink::Writable()
{
    if (m_fast)
        return 1 << 20;
    Advance();
    uint64_t ahead = m_written - m_played;
    return ahead >= m_leadBytes ? 0 : static_cast<size_t>(m_leadBytes - ahead);
}

int ClockSink::Write(const uint8_t* data, size_t bytes)
{
    if (m_fast) {
        if (m_writer)
            m_writer->Append(data, bytes);
        m_written += bytes;
        m_played = m_written;
        return kWaveOk;
    }
    Advance();
    if (m_played == m_written) {
        m_anchorTime = Clock::now();
        m_anchorPlayed = m_played;
    }
    if (m_writer)
        m_unplayed.insert(m_unplayed.end(), data, data + bytes);
    m_written += bytes;
    return kWaveOk;
}

uint64_t ClockSink::PlayedBytes()
{
    Advance();
    return m_played;
}

void ClockSink::Pause()
{
    Advance();
    m_paused = true;
}

void ClockSink::Resume()
{
    if (!m_paused)
        return;
    m_paused = false;
    m_anchorTime = Clock::now();
    m_anchorPlayed = m_played;
}

void ClockSink::Flush()
{
    Advance();
    m_unplayed.clear();
    m_written = m_played;
}

std::chrono::microseconds ClockSink::PollInterval() const
{
    return m_fast ? std::chrono::microseconds(0) : std::chrono::microseconds(5000);
}

std::chrono::microseconds ClockSink::SleepHint(uint64_t /*nextDue*/, uint64_t lastDue, bool morePending)
{
    using std::chrono::microseconds;
    if (m_fast)
        return microseconds(0);
    if (m_paused)
        return PollInterval();
    Advance();
    auto usFor = [this](uint64_t bytes) { return static_cast<int64_t>(bytes * 1000000 / m_bytesPerSec); };
    // With more to write, wake once half the lead has played and refill it,
    // handing back every buffer played meanwhile in one go. With nothing more,
    // wake at the same pace, or when the last buffer is due, so the end is not
    // late.
    const uint64_t half = m_leadBytes / 2;
    uint64_t ahead = m_written - m_played;
    int64_t sleepUs = usFor(half);
    if (morePending)
        sleepUs = ahead > half ? usFor(ahead - half) : 0;
    else if (lastDue != UINT64_MAX)
        sleepUs = usFor(std::min(half, lastDue - std::min(lastDue, m_played)));
    return microseconds(std::clamp<int64_t>(sleepUs, 500, usFor(half) + 500));
}

} // namespace lumetra::platform::audio
