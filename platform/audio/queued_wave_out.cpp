#include "platform/audio/queued_wave_out.h"

#include "platform/thread_priority.h"

#include <algorithm>
#include <cstring>

namespace lumetra::platform::audio {

namespace {
// Largest piece handed to the sink at once (a quarter second of CD sound); also
// the scratch size.
constexpr size_t kChunkBytes = 65536;
// Buffers handed back in one go; more wait for the next pass of the loop.
constexpr size_t kMaxReturnedAtOnce = 64;
} // namespace

QueuedWaveOut::QueuedWaveOut(std::unique_ptr<AudioSink> sink, const WaveFormat& format, Mixer& mixer, MixerLine line,
                             DoneCallback done, ClosedHook closed)
    : m_sink(std::move(sink)), m_format(format), m_mixer(mixer), m_line(line), m_done(std::move(done)),
      m_closedHook(std::move(closed)), m_scratch(kChunkBytes)
{
    m_returning.reserve(kMaxReturnedAtOnce);
}

QueuedWaveOut::~QueuedWaveOut()
{
    {
        std::unique_lock lock(m_mutex);
        if (!m_closed && m_thread.joinable()) {
            m_resetPending = true;
            WaitForWorker(lock);
        }
    }
    Shutdown();
}

int QueuedWaveOut::Start()
{
    int result = m_sink->Open(m_format);
    if (result != kWaveOk)
        return result;
    m_sinkWaits = m_sink->OwnsWait();
    m_thread = std::thread([this] { Run(); });
    std::unique_lock lock(m_mutex);
    m_served.wait(lock, [this] { return m_workerId != std::thread::id(); });
    return kWaveOk;
}

void QueuedWaveOut::Shutdown()
{
    bool wasOpen = false;
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        wasOpen = !m_closed;
        m_closed = true;
    }
    Notify();
    if (m_thread.joinable() && !OnWorker()) {
        m_thread.join();
        m_sink.reset();
    }
    if (wasOpen && m_closedHook)
        m_closedHook();
}

int QueuedWaveOut::Prepare(WaveHeader* header)
{
    if (!header || (!header->data && header->bufferLength > 0))
        return kWaveInvalidParam;
    std::lock_guard lock(m_mutex);
    if (m_closed)
        return kWaveInvalidHandle;
    header->flags |= kWhdrPrepared;
    return kWaveOk;
}

int QueuedWaveOut::Unprepare(WaveHeader* header)
{
    if (!header)
        return kWaveInvalidParam;
    std::lock_guard lock(m_mutex);
    if (header->flags & kWhdrInQueue)
        return kWaveStillPlaying;
    header->flags &= ~static_cast<uint32_t>(kWhdrPrepared);
    return kWaveOk;
}

int QueuedWaveOut::Write(WaveHeader* header)
{
    if (!header)
        return kWaveInvalidParam;
    bool starved = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return kWaveInvalidHandle;
        if (!(header->flags & kWhdrPrepared))
            return kWaveUnprepared;
        if (header->flags & kWhdrInQueue)
            return kWaveStillPlaying;
        header->flags = (header->flags & ~static_cast<uint32_t>(kWhdrDone)) | kWhdrInQueue;
        // A thread that still has bytes to send wakes when the sink has room for
        // them; only one that ran out needs waking for this buffer.
        starved = m_sendIndex >= m_queue.size();
        m_queue.push_back(Entry{header, 0, false});
    }
    if (starved)
        Notify();
    return kWaveOk;
}

int QueuedWaveOut::Pause()
{
    std::unique_lock lock(m_mutex);
    if (m_closed)
        return kWaveInvalidHandle;
    m_paused = true;
    WaitForWorker(lock);
    return kWaveOk;
}

int QueuedWaveOut::Restart()
{
    std::unique_lock lock(m_mutex);
    if (m_closed)
        return kWaveInvalidHandle;
    // The feeder restarts after every refill; a playing device has nothing to do.
    if (!m_paused && !m_sinkPaused)
        return kWaveOk;
    m_paused = false;
    WaitForWorker(lock);
    return kWaveOk;
}

int QueuedWaveOut::Reset()
{
    std::unique_lock lock(m_mutex);
    if (m_closed)
        return kWaveInvalidHandle;
    m_resetPending = true;
    WaitForWorker(lock);
    return kWaveOk;
}

int QueuedWaveOut::Close()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return kWaveInvalidHandle;
        if (!m_queue.empty())
            return kWaveStillPlaying;
    }
    Shutdown();
    return kWaveOk;
}

uint64_t QueuedWaveOut::PositionSamples()
{
    return m_positionFrames.load();
}

void QueuedWaveOut::WaitForWorker(std::unique_lock<std::mutex>& lock)
{
    uint64_t ticket = ++m_requestSeq;
    Notify();
    if (OnWorker())
        return; // inside the done callback: acted on once it returns
    m_served.wait(lock, [&] { return m_servedSeq >= ticket || m_quit; });
}

void QueuedWaveOut::Notify()
{
    m_wake.notify_all();
    if (m_sinkWaits && m_sink) // gone once a first shutdown has joined the thread
        m_sink->Interrupt();
}

void QueuedWaveOut::Sleep(std::unique_lock<std::mutex>& lock, std::chrono::microseconds timeout)
{
    if (!m_sinkWaits) {
        if (timeout == std::chrono::microseconds::max())
            m_wake.wait(lock);
        else
            m_wake.wait_for(lock, timeout);
        return;
    }
    lock.unlock();
    m_sink->WaitEvents(timeout);
    lock.lock();
}

void QueuedWaveOut::DoReset(std::unique_lock<std::mutex>& lock)
{
    m_resetPending = false;
    m_sink->Flush();
    std::deque<Entry> returned;
    returned.swap(m_queue);
    m_sendIndex = 0;
    m_sendPos = 0;
    m_positionBase = m_sink->PlayedBytes();
    m_positionFrames.store(0);
    m_doneFollow = returned.size();
    for (Entry& entry : returned) {
        WaveHeader* header = entry.header;
        header->flags = (header->flags & ~static_cast<uint32_t>(kWhdrInQueue)) | kWhdrDone;
        --m_doneFollow;
        lock.unlock();
        if (m_done)
            m_done(this, header);
        lock.lock();
    }
}

void QueuedWaveOut::RewriteAtGain(std::unique_lock<std::mutex>& lock)
{
    // One write, so that the server never sees its write position stepped back
    // near what it reads (it would count that as running dry). What lies beyond
    // the scratch buffer's reach plays at once at the old gain.
    const uint32_t blockAlign = std::max<uint32_t>(1, m_format.blockAlign);
    const uint64_t written = m_sink->WrittenBytes();
    uint64_t from = std::max(m_sink->PlayedBytes(), written - std::min<uint64_t>(written, m_scratch.size()));
    from += (blockAlign - from % blockAlign) % blockAlign;
    if (from >= written)
        return;
    // Entries before m_sendIndex end at their endOffset; the one at it has
    // m_sendPos bytes in the sink, ending at what was written.
    for (size_t index = 0; index <= m_sendIndex && index < m_queue.size(); ++index) {
        const Entry& entry = m_queue[index];
        const uint32_t length = entry.header->bufferLength / blockAlign * blockAlign;
        const uint64_t end = index < m_sendIndex ? entry.endOffset : written;
        const uint64_t start = end - (index < m_sendIndex ? length : m_sendPos);
        const uint64_t first = std::max(start, from);
        if (end > first)
            std::memcpy(m_scratch.data() + (first - from), entry.header->data + (first - start), end - first);
    }
    const size_t bytes = static_cast<size_t>(written - from);
    ScaleSamples(m_scratch.data(), bytes, m_format.bitsPerSample, m_gain);
    lock.unlock();
    m_sink->Rewrite(from, m_scratch.data(), bytes);
    lock.lock();
}

void QueuedWaveOut::Run()
{
    // Feeding the sink must not starve behind the user interface.
    SetCurrentThreadPriority(ThreadPriority::High);
    std::unique_lock lock(m_mutex);
    m_workerId = std::this_thread::get_id();
    m_served.notify_all();
    const uint32_t blockAlign = std::max<uint32_t>(1, m_format.blockAlign);
    const int bits = m_format.bitsPerSample;

    const bool rewrites = m_sink->CanRewrite();
    m_gain = m_mixer.GainQ16(m_line);
    while (true) {
        if (m_resetPending) {
            DoReset(lock);
            continue;
        }
        if (const uint32_t gain = m_mixer.GainQ16(m_line); gain != m_gain) {
            m_gain = gain;
            if (rewrites) {
                RewriteAtGain(lock);
                continue;
            }
        }
        if (m_paused != m_sinkPaused) {
            if (m_paused)
                m_sink->Pause();
            else
                m_sink->Resume();
            m_sinkPaused = m_paused;
        }
        const uint64_t ticket = m_requestSeq;
        if (m_sinkPaused && ticket == m_servedSeq && !m_quit) {
            // Paused and every request served: neither the position nor the
            // buffers may move until the next request, whatever wakes the thread.
            Sleep(lock, std::chrono::microseconds::max());
            continue;
        }

        uint64_t played = m_sink->PlayedBytes();
        m_positionFrames.store((played - std::min(played, m_positionBase)) / blockAlign);
        if (!m_queue.empty() && m_queue.front().sent && played >= m_queue.front().endOffset) {
            // Every buffer played since the last look goes back with the lock
            // released once, so the owner's calls into the device do not queue up
            // behind this thread.
            m_returning.clear();
            while (!m_queue.empty() && m_queue.front().sent && played >= m_queue.front().endOffset &&
                   m_returning.size() < m_returning.capacity()) {
                WaveHeader* header = m_queue.front().header;
                m_queue.pop_front();
                --m_sendIndex;
                header->flags = (header->flags & ~static_cast<uint32_t>(kWhdrInQueue)) | kWhdrDone;
                m_returning.push_back(header);
            }
            lock.unlock();
            m_doneFollow = m_returning.size();
            for (WaveHeader* header : m_returning) {
                --m_doneFollow;
                if (m_done)
                    m_done(this, header);
            }
            lock.lock();
            continue;
        }

        m_servedSeq = ticket;
        m_served.notify_all();
        if (m_quit)
            break;

        if (!m_sinkPaused && m_sendIndex < m_queue.size()) {
            // What the sink takes now goes in one piece, across buffers: every
            // write costs the sink a hand-over of its own.
            size_t room = std::min(m_sink->Writable(), m_scratch.size()) / blockAlign * blockAlign;
            size_t filled = 0;
            size_t index = m_sendIndex;
            for (uint32_t pos = m_sendPos; index < m_queue.size(); ++index, pos = 0) {
                const WaveHeader* header = m_queue[index].header;
                // A trailing partial frame is not playable; it is dropped.
                uint32_t length = header->bufferLength / blockAlign * blockAlign;
                size_t n = std::min<size_t>(length - pos, room - filled);
                std::memcpy(m_scratch.data() + filled, header->data + pos, n);
                filled += n;
                if (pos + n < length)
                    break;
            }
            if (filled > 0 || index > m_sendIndex) {
                uint64_t offset = m_sink->WrittenBytes();
                if (filled > 0) {
                    m_mixer.Apply(m_line, m_scratch.data(), filled, bits, m_gain);
                    lock.unlock();
                    m_sink->Write(m_scratch.data(), filled);
                    lock.lock();
                    if (m_resetPending)
                        continue; // the entries may be gone already
                }
                for (size_t left = filled; m_sendIndex < m_queue.size();) {
                    Entry& entry = m_queue[m_sendIndex];
                    uint32_t length = entry.header->bufferLength / blockAlign * blockAlign;
                    size_t n = std::min<size_t>(length - m_sendPos, left);
                    offset += n;
                    left -= n;
                    m_sendPos += static_cast<uint32_t>(n);
                    if (m_sendPos < length)
                        break;
                    entry.sent = true;
                    entry.endOffset = offset;
                    ++m_sendIndex;
                    m_sendPos = 0;
                    if (left == 0 && m_sendIndex >= index)
                        break;
                }
                continue;
            }
        }

        if (m_queue.empty() || m_sinkPaused) {
            Sleep(lock, std::chrono::microseconds::max());
        } else {
            if (m_sendIndex >= m_queue.size())
                m_sink->Drain();
            const bool morePending = m_sendIndex < m_queue.size();
            const uint64_t due = m_queue.front().sent ? m_queue.front().endOffset : UINT64_MAX;
            const uint64_t lastDue = m_sendIndex > 0 ? m_queue[m_sendIndex - 1].endOffset : UINT64_MAX;
            Sleep(lock, m_sink->SleepHint(due, lastDue, morePending));
        }
    }
}

} // namespace lumetra::platform::audio
