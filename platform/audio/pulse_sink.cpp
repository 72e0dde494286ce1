// PulseAudio (and PipeWire's Pulse server) output: one playback stream per device,
// its connection served by the device's backend thread (no thread of its own).
// Pause corks the stream so that what the server holds stays queued; the played
// position comes from the stream's interpolated clock.

#include "platform/audio/backends.h"
#include "platform/audio/stream_description.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>

namespace lumetra::platform::audio {

namespace {

constexpr int kTargetLatencyMs = 150;
constexpr int kStartMs = 20;   // the server starts playing once this much is queued
// The thread refills the stream in pieces of about this much. Waking at 50 ms
// left only 100 ms for a busy machine to schedule the thread, and it dropped sound.
constexpr int kRequestMs = 30;
// Once this much has been written, the server holds more and asks in larger
// pieces: fewer wake-ups, with more sound left when one comes. Small requests
// at the start keep its first moments.
constexpr int kSteadyAfterMs = 1000;
constexpr int kSteadyLatencyMs = 300;
constexpr int kSteadyRequestMs = 100;
constexpr size_t kDeadWritable = 1 << 20;

constexpr const char* kProductName = "Lumetra Media Player";

// application.* for the client, media.* for a stream.
pa_proplist* ClientProperties()
{
    pa_proplist* list = pa_proplist_new();
    pa_proplist_sets(list, PA_PROP_APPLICATION_NAME, kProductName);
    pa_proplist_sets(list, PA_PROP_APPLICATION_ICON_NAME, "lumetra");
    pa_proplist_sets(list, PA_PROP_APPLICATION_ID, "lumetra");
    return list;
}

pa_proplist* MediaProperties(const StreamDescription& description)
{
    pa_proplist* list = pa_proplist_new();
    pa_proplist_sets(list, PA_PROP_MEDIA_NAME, description.name.empty() ? kProductName : description.name.c_str());
    if (!description.artist.empty())
        pa_proplist_sets(list, PA_PROP_MEDIA_ARTIST, description.artist.c_str());
    pa_proplist_sets(list, PA_PROP_MEDIA_ROLE, "music");
    return list;
}

class PulseSink : public AudioSink {
public:
    explicit PulseSink(std::string clientName) : m_clientName(std::move(clientName)) {}

    // On the closing thread, once the backend thread has ended: the connection
    // closes with its socket, which ends the stream on the server.
    ~PulseSink() override
    {
        if (!m_loop)
            return;
        if (m_stream) {
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
            pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
            pa_stream_set_write_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
        pa_mainloop_free(m_loop);
    }

    int Open(const WaveFormat& format) override
    {
        m_spec.format = format.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
        m_spec.rate = format.samplesPerSec;
        m_spec.channels = static_cast<uint8_t>(format.channels);
        m_blockAlign = format.blockAlign;
        m_loop = pa_mainloop_new();
        if (!m_loop)
            return kWaveNoDriver;
        return Connect();
    }

    size_t Writable() override
    {
        if (!StreamGood())
            return kDeadWritable; // a lost server swallows the rest at once
        size_t n = pa_stream_writable_size(m_stream);
        return n == static_cast<size_t>(-1) ? 0 : n;
    }

    int Write(const uint8_t* data, size_t bytes) override
    {
        m_written += bytes;
        m_underflow = false;
        m_triggered = false;
        if (!StreamGood())
            return kWaveError;
        if (StreamDescriptionGeneration() != m_described)
            Describe();
        if (!m_steady && m_written >= pa_usec_to_bytes(kSteadyAfterMs * PA_USEC_PER_MSEC, &m_spec))
            BecomeSteady();
        const int64_t seek = static_cast<int64_t>(m_written - bytes) - static_cast<int64_t>(m_serverAt);
        m_serverAt = m_written;
        return pa_stream_write(m_stream, data, bytes, nullptr, seek, PA_SEEK_RELATIVE) < 0 ? kWaveError : kWaveOk;
    }

    uint64_t WrittenBytes() override { return m_written; }

    uint64_t PlayedBytes() override
    {
        if (!StreamGood()) {
            // A lost server plays nothing more; hand everything back.
            m_played = m_written;
            return m_played;
        }
        pa_usec_t usec = 0;
        const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
        if (timing && pa_stream_get_time(m_stream, &usec) == 0) {
            uint64_t bytes = std::min<uint64_t>(pa_usec_to_bytes(usec, &m_spec), m_written);
            // The clock is extrapolated; near the end of what was written it must
            // not run past what the server has actually taken from the stream, or
            // the tail would be cut off by a close. Further from it, the clock
            // alone will do, and the server is not asked every few milliseconds.
            if (m_written - bytes < m_lowBytes) {
                RefreshTiming();
                timing = pa_stream_get_timing_info(m_stream);
                uint64_t taken = timing && timing->read_index > 0 ? static_cast<uint64_t>(timing->read_index) : 0;
                bytes = std::min(bytes, taken);
            }
            m_played = std::max(m_played, bytes);
        }
        if (m_underflow && m_played < m_written && !m_corked) {
            // The server ran dry: what it took is in the sink's own buffer and
            // will be heard once that latency has passed.
            auto latency = std::chrono::microseconds(timing ? timing->sink_usec : 0);
            if (std::chrono::steady_clock::now() - m_underflowAt >= latency)
                m_played = m_written;
        }
        return m_played;
    }

    void Pause() override { Cork(true); }
    void Resume() override { Cork(false); }

    void Flush() override
    {
        if (!StreamGood())
            return;
        Wait(pa_stream_flush(m_stream, nullptr, nullptr));
        Wait(pa_stream_update_timing_info(m_stream, nullptr, nullptr));
        const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
        uint64_t readIndex = timing && timing->read_index > 0 ? static_cast<uint64_t>(timing->read_index) : 0;
        m_written = std::max(m_played, std::min(m_written, readIndex));
        m_serverAt = m_written; // the server goes on writing where it reads now
        m_underflow = false;
    }

    bool CanRewrite() const override { return true; }

    // Written over where the server holds it, by a seek back from where it
    // writes next; what it has played already it drops, and what its sink has
    // mixed ahead it mixes again.
    void Rewrite(uint64_t offset, const uint8_t* data, size_t bytes) override
    {
        if (StreamGood() && offset + bytes <= m_written) {
            pa_stream_write(m_stream, data, bytes, nullptr,
                            static_cast<int64_t>(offset) - static_cast<int64_t>(m_serverAt), PA_SEEK_RELATIVE);
            m_serverAt = offset + bytes;
        }
    }

    void Drain() override
    {
        if (m_triggered || !StreamGood() || m_corked)
            return;
        m_triggered = true;
        // Starts playback of a tail shorter than the start threshold.
        if (pa_operation* op = pa_stream_trigger(m_stream, nullptr, nullptr))
            pa_operation_unref(op);
    }

    std::chrono::microseconds PollInterval() const override { return std::chrono::milliseconds(50); }

    // The server's request for data ends the wait (see WaitEvents), and played
    // buffers go back then; until then it sleeps, at most two steady requests'
    // worth. With everything written, it wakes when the next buffer is due.
    std::chrono::microseconds SleepHint(uint64_t dueOffset, uint64_t /*lastDue*/, bool morePending) override
    {
        using std::chrono::microseconds;
        auto usFor = [this](uint64_t bytes) { return static_cast<int64_t>(pa_bytes_to_usec(bytes, &m_spec)); };
        int64_t sleepUs = 2 * kSteadyRequestMs * 1000;
        if (!morePending && dueOffset != UINT64_MAX) {
            uint64_t played = PlayedBytes();
            sleepUs = dueOffset > played ? usFor(dueOffset - played) : 0;
        }
        return microseconds(std::clamp<int64_t>(sleepUs, 2000, 2 * kSteadyRequestMs * 1000));
    }

    bool OwnsWait() const override { return true; }

    // The connection's events are handled on the backend thread itself, so no
    // thread of the library's own wakes for every message and hands over to it.
    void WaitEvents(std::chrono::microseconds timeout) override
    {
        using Clock = std::chrono::steady_clock;
        const bool endless = timeout == std::chrono::microseconds::max();
        const auto deadline = endless ? Clock::time_point::max() : Clock::now() + timeout;
        while (true) {
            int waitUs = -1;
            if (!endless) {
                auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
                waitUs = static_cast<int>(std::clamp<int64_t>(left, 0, INT32_MAX));
            }
            if (pa_mainloop_prepare(m_loop, waitUs) < 0)
                return;
            // Preparing drains the loop's wake-up pipe: an interrupt that came
            // before it is raised again, so the poll does not sleep through it.
            bool interrupted = m_interrupt.exchange(false);
            if (interrupted)
                pa_mainloop_wakeup(m_loop);
            // A failed poll still has to be dispatched, or the loop stays stuck in
            // its polled state.
            int polled = pa_mainloop_poll(m_loop);
            if (polled == -2 || pa_mainloop_dispatch(m_loop) < 0 || polled < 0)
                return;
            if (interrupted || m_interrupt.exchange(false) || m_requested || m_stateChanged) {
                m_requested = false;
                m_stateChanged = false;
                return;
            }
            if (!endless && Clock::now() >= deadline)
                return;
        }
    }

    void Interrupt() override
    {
        m_interrupt.store(true);
        pa_mainloop_wakeup(m_loop);
    }

private:
    static void StateCallback(void* self) { static_cast<PulseSink*>(self)->m_stateChanged = true; }

    static void UnderflowCallback(pa_stream*, void* self)
    {
        auto* sink = static_cast<PulseSink*>(self);
        sink->m_underflow = true;
        sink->m_underflowAt = std::chrono::steady_clock::now();
    }

    // The server asks in small pieces; the wait ends once a request's worth has
    // gathered, so that the thread writes in few, large pieces.
    static void WriteCallback(pa_stream*, size_t writable, void* self)
    {
        auto* sink = static_cast<PulseSink*>(self);
        if (writable >= sink->m_wakeBytes)
            sink->m_requested = true;
    }

    // The larger buffer and requests of a stream under way (see kSteadyAfterMs).
    void BecomeSteady()
    {
        m_steady = true;
        pa_buffer_attr attr = BufferAttributes(kSteadyLatencyMs, kSteadyRequestMs);
        pa_operation* op = pa_stream_set_buffer_attr(
            m_stream, &attr,
            [](pa_stream* stream, int success, void* self) {
                auto* sink = static_cast<PulseSink*>(self);
                const pa_buffer_attr* now = pa_stream_get_buffer_attr(stream);
                if (success && now)
                    sink->Waterline(now->tlength, kSteadyRequestMs);
            },
            this);
        if (op)
            pa_operation_unref(op);
    }

    pa_buffer_attr BufferAttributes(int latencyMs, int requestMs) const
    {
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(latencyMs * PA_USEC_PER_MSEC, &m_spec));
        attr.prebuf = static_cast<uint32_t>(pa_usec_to_bytes(kStartMs * PA_USEC_PER_MSEC, &m_spec));
        attr.minreq = static_cast<uint32_t>(pa_usec_to_bytes(requestMs * PA_USEC_PER_MSEC, &m_spec));
        attr.fragsize = static_cast<uint32_t>(-1);
        return attr;
    }

    // The thread wakes once requestMs can be written, at most a third of what
    // the server holds. A stream kept fed never holds less than the rest; the
    // clock is checked against the server's read position once half of that is
    // left, as at the end of a stream.
    void Waterline(uint32_t held, int requestMs)
    {
        size_t request = pa_usec_to_bytes(requestMs * PA_USEC_PER_MSEC, &m_spec);
        m_wakeBytes = std::max<size_t>(m_blockAlign, std::min<size_t>(request, held / 3));
        m_lowBytes = (held - m_wakeBytes) / 2;
    }

    // Keeps the server's read index at most about 20 ms old.
    void RefreshTiming()
    {
        auto now = std::chrono::steady_clock::now();
        if (m_timingPending || now - m_timingAsked < std::chrono::milliseconds(20))
            return;
        m_timingAsked = now;
        m_timingPending = true;
        pa_operation* op = pa_stream_update_timing_info(
            m_stream, [](pa_stream*, int, void* self) { static_cast<PulseSink*>(self)->m_timingPending = false; },
            this);
        if (op)
            pa_operation_unref(op);
        else
            m_timingPending = false;
    }

    bool StreamGood() const
    {
        return m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY &&
               pa_context_get_state(m_context) == PA_CONTEXT_READY;
    }

    // Runs the loop until an operation is done, unless the connection dies first.
    void Wait(pa_operation* op)
    {
        if (!op)
            return;
        while (pa_operation_get_state(op) == PA_OPERATION_RUNNING && StreamGood())
            pa_mainloop_iterate(m_loop, 1, nullptr);
        pa_operation_unref(op);
    }

    // A new title while the stream plays renames it in the mixers.
    void Describe()
    {
        m_described = StreamDescriptionGeneration();
        pa_proplist* list = MediaProperties(CurrentStreamDescription());
        if (pa_operation* op = pa_stream_proplist_update(m_stream, PA_UPDATE_REPLACE, list, nullptr, nullptr))
            pa_operation_unref(op);
        pa_proplist_free(list);
    }

    void Cork(bool cork)
    {
        if (!StreamGood() || cork == m_corked)
            return;
        m_corked = cork;
        Wait(pa_stream_cork(m_stream, cork ? 1 : 0, nullptr, nullptr));
        if (!cork)
            m_triggered = false;
    }

    int Connect()
    {
        pa_proplist* client = ClientProperties();
        m_context = pa_context_new_with_proplist(pa_mainloop_get_api(m_loop), m_clientName.c_str(), client);
        pa_proplist_free(client);
        if (!m_context)
            return kWaveNoDriver;
        pa_context_set_state_callback(
            m_context, [](pa_context*, void* self) { StateCallback(self); }, this);
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return kWaveNoDriver;
        while (true) {
            pa_context_state_t state = pa_context_get_state(m_context);
            if (state == PA_CONTEXT_READY)
                break;
            if (!PA_CONTEXT_IS_GOOD(state) || pa_mainloop_iterate(m_loop, 1, nullptr) < 0)
                return kWaveNoDriver;
        }
        m_described = StreamDescriptionGeneration();
        pa_proplist* media = MediaProperties(CurrentStreamDescription());
        m_stream = pa_stream_new_with_proplist(m_context, nullptr, &m_spec, nullptr, media);
        pa_proplist_free(media);
        if (!m_stream)
            return kWaveBadFormat;
        pa_stream_set_state_callback(
            m_stream, [](pa_stream*, void* self) { StateCallback(self); }, this);
        pa_stream_set_underflow_callback(m_stream, UnderflowCallback, this);
        pa_stream_set_write_callback(m_stream, WriteCallback, this);
        pa_buffer_attr attr = BufferAttributes(kTargetLatencyMs, kStartMs);
        Waterline(attr.tlength, kRequestMs);
        auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                                    PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(m_stream, nullptr, &attr, flags, nullptr, nullptr) < 0)
            return kWaveNoDriver;
        while (true) {
            pa_stream_state_t state = pa_stream_get_state(m_stream);
            if (state == PA_STREAM_READY) {
                m_stateChanged = false;
                return kWaveOk;
            }
            if (!PA_STREAM_IS_GOOD(state) || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)) ||
                pa_mainloop_iterate(m_loop, 1, nullptr) < 0)
                return kWaveNoDriver;
        }
    }

    std::string m_clientName;
    pa_sample_spec m_spec{};
    uint32_t m_blockAlign = 1;
    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    std::atomic<bool> m_interrupt{false}; // set from any thread
    uint64_t m_written = 0;
    uint64_t m_played = 0;
    uint64_t m_serverAt = 0;  // where the server writes next, as an offset of this stream
    uint64_t m_described = 0; // the description generation the stream carries
    size_t m_wakeBytes = 0;   // writable bytes that end a wait
    size_t m_lowBytes = 0;    // unplayed bytes below which the clock is checked
    bool m_requested = false; // the server asked for a wake's worth
    bool m_stateChanged = false;
    bool m_steady = false;
    bool m_corked = false;
    bool m_triggered = false;
    bool m_underflow = false;
    bool m_timingPending = false;
    std::chrono::steady_clock::time_point m_timingAsked;
    std::chrono::steady_clock::time_point m_underflowAt;
};

} // namespace

bool PulseServerAnswers()
{
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop)
        return false;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Lumetra probe");
    bool ready = false;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        while (std::chrono::steady_clock::now() < deadline) {
            pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) {
                ready = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state))
                break;
            if (pa_mainloop_prepare(loop, 50 * 1000) < 0 || pa_mainloop_poll(loop) < 0 ||
                pa_mainloop_dispatch(loop) < 0)
                break;
        }
    }
    if (context) {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);
    return ready;
}

std::unique_ptr<AudioSink> MakePulseSink(const std::string& clientName)
{
    return std::make_unique<PulseSink>(clientName);
}

} // namespace lumetra::platform::audio
