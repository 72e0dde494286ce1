#pragma once
// Helpers of the web tests: a child process (an HTTP server, tinyproxy) started
// with its standard input on a pipe, so it ends with the test, and killed on
// destruction; loopback ports and scratch files.

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lumetra::test {

class ChildProcess {
public:
    // Starts argv; when readFirstLine, waits for and keeps its first output line.
    ChildProcess(const std::vector<std::string>& argv, bool readFirstLine)
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], 0);
            if (readFirstLine)
                dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_stdin = in[1];
        for (char c; readFirstLine && read(out[0], &c, 1) == 1 && c != '\n';)
            m_firstLine += c;
        close(out[0]);
    }
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    const std::string& FirstLine() const { return m_firstLine; }
    void Stop()
    {
        if (m_stdin >= 0)
            close(m_stdin);
        m_stdin = -1;
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }

private:
    int m_pid = -1;
    int m_stdin = -1;
    std::string m_firstLine;
};

inline sockaddr_in LoopbackAddress(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

// A TCP socket bound to a free port on 127.0.0.1 (stored in port).
inline int BindLoopback(int& port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = LoopbackAddress(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// A port on 127.0.0.1 that was free a moment ago.
inline int FreeLoopbackPort()
{
    int port = 0;
    close(BindLoopback(port));
    return port;
}

// Waits until something accepts on 127.0.0.1:port (up to about 5 s).
inline bool WaitForListener(int port)
{
    for (int i = 0; i < 250; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = LoopbackAddress(port);
        bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(fd);
        if (ok)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// A fresh directory under /tmp, removed by the caller.
inline std::string MakeTempDir()
{
    char templ[] = "/tmp/lumetra-web-XXXXXX";
    return mkdtemp(templ);
}

inline void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace lumetra::test
