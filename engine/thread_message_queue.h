#pragma once
// The buffer thread's message queue: posted from any thread (the device callback,
// the main thread), taken in order by one thread. A fixed ring, so posting a
// returned buffer allocates nothing; it grows only if ever more are waiting.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace lumetra::engine {

struct ThreadMessage {
    int message = 0;
    intptr_t wParam = 0;
    intptr_t lParam = 0;
};

class ThreadMessageQueue {
public:
    explicit ThreadMessageQueue(std::size_t capacity = 1024) : m_ring(capacity) {}

    // Without wake, the message waits for the next post that wakes the thread
    // (one that follows at once), so a batch costs the taker one wake-up.
    void Post(const ThreadMessage& m, bool wake = true)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_count == m_ring.size())
                Grow();
            m_ring[(m_head + m_count) % m_ring.size()] = m;
            ++m_count;
        }
        if (wake)
            m_ready.notify_one();
    }

    ThreadMessage Wait()
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_count > 0; });
        ThreadMessage m = m_ring[m_head];
        m_head = (m_head + 1) % m_ring.size();
        --m_count;
        return m;
    }

    bool HasPending(int message)
    {
        std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < m_count; ++i) {
            if (m_ring[(m_head + i) % m_ring.size()].message == message)
                return true;
        }
        return false;
    }

private:
    void Grow()
    {
        std::vector<ThreadMessage> bigger(m_ring.size() * 2);
        for (std::size_t i = 0; i < m_count; ++i)
            bigger[i] = m_ring[(m_head + i) % m_ring.size()];
        m_ring.swap(bigger);
        m_head = 0;
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<ThreadMessage> m_ring;
    std::size_t m_head = 0;
    std::size_t m_count = 0;
};

} // namespace lumetra::engine
