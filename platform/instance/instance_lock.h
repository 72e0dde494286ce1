#pragma once
// The instance lock: an advisory lock (flock) on a file in the runtime folder.
// The kernel drops it when its holder ends in any way, so a lock file left by a
// killed player never keeps a new one from starting; only a live holder counts.

#include <string>

namespace lumetra::platform {

class InstanceLock {
public:
    enum class Claim { Owner, Taken, Unavailable };

    explicit InstanceLock(std::string path);
    // A lock this process already holds on fd (passed on across exec).
    InstanceLock(std::string path, int heldFd);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Owner: this process now holds it (until destruction). Taken: a running
    // process holds it. Unavailable: the file cannot be opened (Error() says why).
    Claim TryClaim();
    const std::string& Error() const { return m_error; }
    // The held lock's file descriptor, -1 when not held.
    int HeldFd() const { return m_owned ? m_fd : -1; }

private:
    std::string m_path;
    std::string m_error;
    int m_fd = -1;
    bool m_owned = false;
};

} // namespace lumetra::platform
