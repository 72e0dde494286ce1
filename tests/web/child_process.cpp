#include "child_process.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace lumetra::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool readFirstLine)
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

void ChildProcess::Stop()
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

sockaddr_in LoopbackAddress(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

int BindLoopback(int& port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = LoopbackAddress(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

int FreeLoopbackPort()
{
    int port = 0;
    close(BindLoopback(port));
    return port;
}

bool WaitForListener(int port)
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

std::string MakeTempDir()
{
    char templ[] = "/tmp/lumetra-web-XXXXXX";
    return mkdtemp(templ);
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace lumetra::test
