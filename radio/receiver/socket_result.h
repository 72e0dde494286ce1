#pragma once
// What a socket call did: done, or failed with the system's error number, whose
// text the user reads in a message box.

#include <string>

namespace lumetra::radio {

class SocketResult {
public:
    static SocketResult Done() { return SocketResult(0); }
    static SocketResult Failed(int error) { return SocketResult(error); }

    explicit operator bool() const { return m_error == 0; } // done
    int Error() const { return m_error; }                   // errno, 0 when done
    std::string Text() const;                               // "description (number)"

private:
    explicit SocketResult(int error) : m_error(error) {}
    int m_error;
};

} // namespace lumetra::radio
