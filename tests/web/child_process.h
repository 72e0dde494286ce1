#pragma once
// A helper process for tests (an HTTP server, tinyproxy): started with its
// standard input on a pipe, so it ends with the test, and killed on destruction.

#include <string>
#include <vector>

namespace lumetra::test {

class ChildProcess {
public:
    // Starts argv; when readFirstLine, waits for and keeps its first output line.
    ChildProcess(const std::vector<std::string>& argv, bool readFirstLine);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    const std::string& FirstLine() const { return m_firstLine; }
    void Stop();

private:
    int m_pid = -1;
    int m_stdin = -1;
    std::string m_firstLine;
};

// A port on 127.0.0.1 that was free a moment ago.
int FreeLoopbackPort();
// Waits until something accepts on 127.0.0.1:port (up to about 5 s).
bool WaitForListener(int port);
// A fresh directory under /tmp, removed by the caller.
std::string MakeTempDir();
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);

} // namespace lumetra::test
