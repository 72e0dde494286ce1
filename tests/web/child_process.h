#pragma once
// Helpers of the web tests: a child process (an HTTP server, tinyproxy) started
// with its standard input on a pipe, so it ends with the test, and killed on
// destruction; loopback ports and scratch files.

#include <string>
#include <vector>

struct sockaddr_in;

namespace lumetra::test {

class ChildProcess {
public:
    // Starts argv; when readFirstLine, waits for and keeps its first output line.
    ChildProcess(const std::vector<std::string>& argv, bool readFirstLine);
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    const std::string& FirstLine() const { return m_firstLine; }
    void Stop();

private:
    int m_pid = -1;
    int m_stdin = -1;
    std::string m_firstLine;
};

sockaddr_in LoopbackAddress(int port);
// A TCP socket bound to a free port on 127.0.0.1 (stored in port).
int BindLoopback(int& port);
// A port on 127.0.0.1 that was free a moment ago.
int FreeLoopbackPort();
// Waits until something accepts on 127.0.0.1:port (up to about 5 s).
bool WaitForListener(int port);
// A fresh directory under /tmp, removed by the caller.
std::string MakeTempDir();
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);

} // namespace lumetra::test
