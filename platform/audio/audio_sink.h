#pragma once
// One output stream of a backend, driven only by the backend thread of the device
// that owns it (QueuedWaveOut). Offsets count bytes of this stream since open.

#include "platform/audio/wave_out.h"

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace lumetra::platform::audio {

class AudioSink {
public:
    virtual ~AudioSink() = default;
    virtual int Open(const WaveFormat& format) = 0; // a WaveResult
    // Bytes that Write accepts now without blocking.
    virtual size_t Writable() = 0;
    virtual int Write(const uint8_t* data, size_t bytes) = 0;
    virtual uint64_t WrittenBytes() = 0;
    // Bytes the listener has heard: monotonic, never above WrittenBytes().
    virtual uint64_t PlayedBytes() = 0;
    virtual void Pause() = 0; // keeps what is buffered
    virtual void Resume() = 0;
    // Drops what has not been played; PlayedBytes() == WrittenBytes() afterwards.
    virtual void Flush() = 0;
    // Nothing more is coming for now: play what is buffered even if it is short.
    virtual void Drain() {}
    // How long the backend thread may sleep while sound is playing.
    virtual std::chrono::microseconds PollInterval() const { return std::chrono::milliseconds(5); }
    // How long the backend thread may sleep while sound plays, when the next
    // buffer is due back at offset nextDue and the last one written at lastDue
    // (UINT64_MAX: none is due) and more bytes wait to be written (morePending).
    // Sinks that can tell when that happens sleep until then instead of polling.
    virtual std::chrono::microseconds SleepHint(uint64_t /*nextDue*/, uint64_t /*lastDue*/, bool /*morePending*/)
    {
        return PollInterval();
    }
    // Sinks that hold much sound ahead (a sound server's stream) can take the
    // unplayed part again, written over from stream offset offset up to
    // WrittenBytes() in one piece, so that a volume change is heard at once.
    virtual bool CanRewrite() const { return false; }
    virtual void Rewrite(uint64_t /*offset*/, const uint8_t* /*data*/, size_t /*bytes*/) {}
    // A sink with an event loop of its own (a sound server's connection) has the
    // backend thread wait in WaitEvents rather than on its own condition. The
    // wait ends when the sink wants data, when Interrupt is called (from any
    // thread, also just before the wait begins), or after timeout
    // (microseconds::max(): none).
    virtual bool OwnsWait() const { return false; }
    virtual void WaitEvents(std::chrono::microseconds /*timeout*/) {}
    virtual void Interrupt() {}
};

} // namespace lumetra::platform::audio
