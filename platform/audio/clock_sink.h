#pragma once
// A sink that consumes sound on the steady clock at the format's byte rate (null
// and file backends) or, in fast mode, as soon as it is written. With a writer it
// stores exactly the bytes consumed, in order.

#include "platform/audio/audio_sink.h"
#include "platform/audio/wav_file_writer.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

namespace lumetra::platform::audio {

class ClockSink : public AudioSink {
public:
    // writer may be null (the null backend); it must be open already.
    ClockSink(bool fast, std::unique_ptr<WavFileWriter> writer);

    int Open(const WaveFormat& format) override;
    size_t Writable() override;
    int Write(const uint8_t* data, size_t bytes) override;
    uint64_t WrittenBytes() override { return m_written; }
    uint64_t PlayedBytes() override;
    void Pause() override;
    void Resume() override;
    void Flush() override;
    std::chrono::microseconds PollInterval() const override;
    std::chrono::microseconds SleepHint(uint64_t nextDue, uint64_t lastDue, bool morePending) override;

private:
    using Clock = std::chrono::steady_clock;
    void Advance();

    bool m_fast;
    std::unique_ptr<WavFileWriter> m_writer;
    uint64_t m_bytesPerSec = 1;
    uint32_t m_blockAlign = 1;
    size_t m_leadBytes = 0; // how far writing may run ahead of the clock
    uint64_t m_written = 0;
    uint64_t m_played = 0;
    bool m_paused = false;
    Clock::time_point m_anchorTime;
    uint64_t m_anchorPlayed = 0;     // played offset at m_anchorTime
    std::vector<uint8_t> m_unplayed; // written, not yet consumed (file mode)
};

} // namespace lumetra::platform::audio
