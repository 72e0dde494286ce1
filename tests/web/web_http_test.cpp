// The HTTP client's failures and time-outs, the proxy dialog's retry, the link
// cache and the stream download's edges against real servers on loopback: the
// test's own HTTP fixture server and tinyproxy. The directory and the streams'
// playback are checked through the player (headless_web_e2e.py).

#include "platform/dialogs/message_box.h"
#include "platform/loop/poll_main_loop.h"
#include "platform/registry/registry_store.h"
#include "settings/registry_values.h"
#include "settings/settings.h"
#include "web/http_get.h"
#include "web/http_text.h"
#include "web/link_list.h"
#include "web/proxy_settings.h"
#include "web/stream_player.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumetra;
using namespace lumetra::web;
namespace {

// A server for the test (the fixture server, tinyproxy): its standard input stays
// open on a pipe, so it ends with the test; killed on destruction.
class ChildProcess {
public:
    ChildProcess(std::vector<std::string> argv, bool readFirstLine)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], 0);
            dup2(readFirstLine ? out[1] : open("/dev/null", O_WRONLY), 1);
            std::vector<char*> args;
            for (std::string& a : argv)
                args.push_back(a.data());
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_stdin = in[1];
        m_stdout = out[0];
        pollfd ready{m_stdout, POLLIN, 0};
        char c;
        while (readFirstLine && poll(&ready, 1, 10000) > 0 && read(m_stdout, &c, 1) == 1 && c != '\n')
            m_firstLine += c;
    }
    ~ChildProcess() { Stop(); }
    const std::string& FirstLine() const { return m_firstLine; }
    void Stop()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            close(m_stdin);
            close(m_stdout);
        }
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
    std::string m_firstLine;
};

sockaddr_in Loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

// A port on 127.0.0.1 that was free a moment ago.
int FreeLoopbackPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    socklen_t length = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    close(fd);
    return ntohs(a.sin_port);
}

// Waits until something accepts on 127.0.0.1:port (up to about 5 s).
bool WaitForListener(int port)
{
    for (int i = 0; i < 50; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = Loopback(port);
        bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(fd);
        if (accepted)
            return true;
        usleep(100000);
    }
    return false;
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const std::string& path)
{
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// The fixture's file name for a target: urllib's quote(target, safe="").
std::string Quote(const std::string& target)
{
    std::string out;
    for (unsigned char c : target) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        out += std::isalnum(c) || std::strchr("_.-~", c) ? std::string(1, static_cast<char>(c)) : hex;
    }
    return out;
}

class WebTest : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/web_http_test.XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        m_dir = pattern;
        m_root = m_dir + "/www";
        ::mkdir(m_root.c_str(), 0700);
        platform::BindRegistry(m_dir + "/config/lumetra/registry.reg");
        settings::CurrentSettings() = settings::Settings{};
        std::string script = std::string(LUMETRA_TEST_SOURCE_DIR) + "/http_fixture_server.py";
        m_server = std::make_unique<ChildProcess>(std::vector<std::string>{"python3", script, m_root}, true);
        m_port = std::atoi(m_server->FirstLine().c_str());
        ASSERT_GT(m_port, 0);
        setenv("LUMETRA_DIRECTORY", ("127.0.0.1:" + std::to_string(m_port)).c_str(), 1);
        platform::SetMessageBoxPresenter([this](const platform::MessageBoxRequest& r) {
            m_messages.push_back(r.caption + ": " + r.text);
            return r.buttons == platform::MessageButtons::YesNo ? platform::kAnswerNo : platform::kAnswerOk;
        });
        platform::SetDialogPresenter([this](const std::string& title) {
            m_dialogs.push_back(title);
            return false;
        });
        SetProxyDialogHandler({});
    }

    void TearDown() override
    {
        platform::SetMessageBoxPresenter({});
        platform::SetDialogPresenter({});
        SetProxyDialogHandler({});
        m_server.reset();
        std::filesystem::remove_all(m_dir);
    }

    void Serve(const std::string& target, const std::string& body)
    {
        WriteFile(m_root + "/" + Quote(target), body);
    }

    int Fetch(const std::string& path, std::string& out, size_t capacity = 65536)
    {
        return m_fetcher.Get("Testing...", "127.0.0.1", static_cast<uint16_t>(m_port), path, out, capacity);
    }

    std::string m_dir;
    std::string m_root;
    std::unique_ptr<ChildProcess> m_server;
    int m_port = 0;
    HttpFetcher m_fetcher;
    std::vector<std::string> m_messages;
    std::vector<std::string> m_dialogs;
};

// ---- HttpGet

// Refused, redirected or headless replies and absent servers fail without a
// word; a reply larger than the buffer keeps what fits.
TEST_F(WebTest, FetchesWithTheSimpleRequestForm)
{
    std::string body;
    ASSERT_EQ(Fetch("/echo", body), 1);
    EXPECT_EQ(body, "GET /echo HTTP/1.0\r\n\r\n");
    EXPECT_EQ(m_fetcher.LastRequest(), "GET /echo HTTP/1.0\r\n\r\n");
    EXPECT_NE(m_fetcher.ProgressLog().find("Contacting 127.0.0.1...\n"), std::string::npos) << m_fetcher.ProgressLog();
    EXPECT_TRUE(m_fetcher.ProgressLog().starts_with("Testing...Looking up 127.0.0.1...\n"));
    Serve("/doc.txt", "line one\nline two\n");
    ASSERT_EQ(Fetch("/doc.txt", body), 1);
    EXPECT_EQ(body, "line one\nline two\n");
    for (const char* path : {"/status/403", "/status/404", "/status/406", "/status/302", "/status/500", "/noblank"})
        EXPECT_EQ(Fetch(path, body), 0) << path;
    EXPECT_EQ(m_fetcher.Get("x", "127.0.0.1", static_cast<uint16_t>(FreeLoopbackPort()), "/", body, 100), 0);
    EXPECT_EQ(m_fetcher.Get("x", "no-such-host.invalid", 80, "/", body, 100), 0);
    // A name is looked up off the main thread, IPv4 first.
    ASSERT_EQ(m_fetcher.Get("x", "localhost", static_cast<uint16_t>(m_port), "/echo", body, 100), 1);
    EXPECT_NE(m_fetcher.ProgressLog().find("Contacting 127.0.0.1...\n"), std::string::npos) << m_fetcher.ProgressLog();
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(m_dialogs.empty());
    ASSERT_EQ(Fetch("/big/200000", body, 16384), 1);
    EXPECT_GT(body.size(), 4000u);
    EXPECT_LT(body.size(), 16384u);
    for (size_t i = 0; i < 4000; ++i)
        ASSERT_EQ(static_cast<uint8_t>(body[i]), i % 251) << i;
}

// A silent, stalled, endless or pending (full accept queue) reply times out
// with the message; a reply cut short by the time-out is not taken for a whole one.
TEST_F(WebTest, SilentStalledEndlessAndPendingRepliesTimeOutWithTheMessage)
{
    m_fetcher.SetTimeoutMs(800);
    std::string body;
    EXPECT_EQ(Fetch("/silent", body), 0);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Testing...: Failed to contact the web server.  Try again later");
    EXPECT_NE(m_fetcher.ProgressLog().find("Stopped by User\n"), std::string::npos);
    EXPECT_EQ(Fetch("/stall", body), 0);
    EXPECT_EQ(Fetch("/endless", body, 16384), 0);
    EXPECT_EQ(m_messages.size(), 3u);
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    socklen_t length = sizeof a;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), length), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        connect(fillers.back(), reinterpret_cast<sockaddr*>(&a), length);
    }
    EXPECT_EQ(m_fetcher.Get("Pending", "127.0.0.1", ntohs(a.sin_port), "/", body, 100), 0);
    EXPECT_EQ(m_messages.size(), 4u);
    for (int fd : fillers)
        close(fd);
    close(listener);
}

TEST_F(WebTest, SecondFetchWhileOneRunsIsRefused)
{
    m_fetcher.SetTimeoutMs(5000);
    int inner = 99;
    platform::TheMainLoop().StartTimer(100, false, [&] {
        std::string other;
        inner = m_fetcher.Get("inner", "127.0.0.1", static_cast<uint16_t>(m_port), "/echo", other, 100);
        m_fetcher.Cancel();
    });
    std::string body;
    EXPECT_EQ(Fetch("/silent", body), 0);
    EXPECT_EQ(inner, -1);
    EXPECT_TRUE(m_messages.empty());
}

// Through tinyproxy with Basic authorisation: a refusal asks for the password;
// Cancel fails the fetch, OK repeats it with the new values.
TEST_F(WebTest, ProxyRefusalAsksAndCancelFailsOkRepeats)
{
    int proxyPort = FreeLoopbackPort();
    std::string conf = m_dir + "/tinyproxy.conf";
    WriteFile(conf, "Port " + std::to_string(proxyPort) +
                              "\nListen 127.0.0.1\nTimeout 10\nAllow 127.0.0.1\nBasicAuth alice w0nder-land\n"
                              "LogLevel Critical\nLogFile \"" +
                              m_dir + "/tinyproxy.log\"\nPidFile \"" + m_dir + "/tinyproxy.pid\"\n");
    ChildProcess proxy({"tinyproxy", "-d", "-c", conf.c_str()}, false);
    ASSERT_TRUE(WaitForListener(proxyPort));
    auto UseProxy = [&](const std::string& user, const std::string& password) {
        WriteProxySettings({"127.0.0.1", std::to_string(proxyPort), user, password});
    };
    UseProxy("alice", "wrong");
    std::string body;
    EXPECT_EQ(Fetch("/echo", body), 0);
    EXPECT_EQ(m_dialogs, std::vector<std::string>{"Proxy Information"});
    // Empty user and password still send the line: the encoding of a lone colon.
    UseProxy("", "");
    EXPECT_EQ(Fetch("/echo", body), 0);
    EXPECT_NE(m_fetcher.LastRequest().find("Proxy-authorization: Basic Og==\r\n"), std::string::npos);
    // OK in the dialog repeats the fetch with the new values.
    UseProxy("alice", "wrong");
    std::vector<ProxyDialogView> views;
    SetProxyDialogHandler([&](const ProxyDialogView& view) {
        views.push_back(view);
        WriteProxySettings({view.values.server, view.values.port, "alice", "w0nder-land"});
        return true;
    });
    ASSERT_EQ(Fetch("/echo", body), 1);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_FALSE(views[0].serverAndPortEnabled);
    EXPECT_EQ(views[0].note, "Please re-enter the user id and password.");
    EXPECT_EQ(views[0].values.password, "wrong");
}

// ---- links

TEST_F(WebTest, LinksFromServerThenCacheThenDefaults)
{
    auto defaults = LinkRows(kDefaultLinkList);
    Serve("/cgi-local/kvo_list_links.prl?INFO=0", "http://one.example/\nhttp://two.example/\nend of list\nhttp://x/\n");
    EXPECT_EQ(FetchLinkList(m_fetcher), (std::vector<std::string>{"http://one.example/", "http://two.example/"}));
    Serve("/cgi-local/kvo_list_links.prl?INFO=0", "not a list\n");
    EXPECT_EQ(FetchLinkList(m_fetcher), (std::vector<std::string>{"http://one.example/", "http://two.example/"}));
    platform::BindRegistry(m_dir + "/other.reg");
    m_server->Stop();
    auto rows = FetchLinkList(m_fetcher);
    EXPECT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows, defaults);
}

// ---- streams

class StreamTest : public WebTest {
protected:
    std::string Playlist(const std::string& target)
    {
        std::string file = m_dir + "/s.pls";
        WriteFile(file, "[playlist]\nNumberOfEntries=1\nFile1=http://127.0.0.1:" + std::to_string(m_port) +
                                  target + "\n");
        return file;
    }
    static void WaitDone(StreamContext& stream)
    {
        for (int i = 0; i < 500 && stream.ThreadRunning(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
};

// A playlist without an address changes nothing, a missing one starts nothing, an
// unreachable stream ends at once and leaves the file empty. (A download that
// arrives is played through the player: headless_web_e2e.py.)
TEST_F(StreamTest, BadPlaylistsAndUnreachableStreams)
{
    MediaItem item = MakeMediaItem();
    StreamContext stream(m_dir + "/data/");
    stream.SetMedia(&item);
    std::string file = m_dir + "/x.m3u";
    WriteFile(file, "http://127.0.0.1/no-line-end");
    EXPECT_EQ(StartPlaylistStream(file, stream), 0);
    EXPECT_EQ(item.streamState, 0);
    EXPECT_EQ(StartPlaylistStream(m_dir + "/missing.m3u", stream), 1);
    EXPECT_FALSE(stream.ThreadRunning());
    WriteFile(file, "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/s\n");
    ASSERT_EQ(StartPlaylistStream(file, stream), 1);
    EXPECT_EQ(item.streamState, 1);
    WaitDone(stream);
    EXPECT_TRUE(stream.Done());
    EXPECT_EQ(ReadFile(m_dir + "/data/ Streaming MP3"), "");
    StopStream(stream);
    EXPECT_EQ(item.streamState, 0);
}

TEST_F(StreamTest, StopAndASecondStreamEndTheFirst)
{
    WriteFile(m_root + "/slow.bin", std::string(400000, 'a'));
    WriteFile(m_root + "/" + Quote("/b.bin"), std::string(1000, 'b'));
    StreamContext stream(m_dir + "/data/");
    ASSERT_EQ(StartPlaylistStream(Playlist("/slow/slow.bin?rate=20000&after=10000"), stream), 1);
    for (int i = 0; i < 300 && stream.Received() < 10000; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(stream.ThreadRunning());
    auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(StartPlaylistStream(Playlist("/b.bin"), stream), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(600));
    WaitDone(stream);
    // The file was truncated and holds only the second stream.
    EXPECT_EQ(ReadFile(m_dir + "/data/ Streaming MP3"), std::string(1000, 'b'));
    ASSERT_EQ(StartPlaylistStream(Playlist("/slow/slow.bin?rate=20000"), stream), 1);
    StopStream(stream);
    EXPECT_FALSE(stream.ThreadRunning());
}

} // namespace

int main(int argc, char** argv)
{
    platform::PollMainLoop loop;
    platform::InstallMainLoop(&loop);
    testing::InitGoogleTest(&argc, argv);
    int status = RUN_ALL_TESTS();
    platform::InstallMainLoop(nullptr);
    return status;
}
