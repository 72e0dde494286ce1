// The HTTP client, directory, links and streams against real servers on
// loopback: the test's own HTTP fixture server and tinyproxy.

#include "test_support.h"

#include "platform/dialogs/message_box.h"
#include "platform/registry/registry_store.h"
#include "settings/registry_values.h"
#include "settings/settings.h"
#include "web/http_get.h"
#include "web/http_text.h"
#include "web/link_list.h"
#include "web/proxy_settings.h"
#include "web/station_directory.h"
#include "web/stream_player.h"
#include "web/stream_timer.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstring>
#include <gtest/gtest.h>

using namespace lumetra;
using namespace lumetra::web;
using lumetra::test::ChildProcess;

namespace {

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
        m_dir = test::MakeTempDir();
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
        settings::WriteRegistryString(settings::RegistryRoot::CurrentUser,
                                      std::string(settings::kProgramKey) + "Settings\\UserID=TESTUSER");
    }

    void TearDown() override
    {
        platform::SetMessageBoxPresenter({});
        platform::SetDialogPresenter({});
        SetProxyDialogHandler({});
        m_server.reset();
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }

    void Serve(const std::string& target, const std::string& body)
    {
        test::WriteFile(m_root + "/" + Quote(target), body);
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
    EXPECT_EQ(m_fetcher.Get("x", "127.0.0.1", static_cast<uint16_t>(test::FreeLoopbackPort()), "/", body, 100), 0);
    EXPECT_EQ(m_fetcher.Get("x", "no-such-host.invalid", 80, "/", body, 100), 0);
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
    int port = 0;
    int listener = test::BindLoopback(port);
    ASSERT_EQ(listen(listener, 0), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        sockaddr_in a = test::LoopbackAddress(port);
        connect(fillers.back(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    EXPECT_EQ(m_fetcher.Get("Pending", "127.0.0.1", static_cast<uint16_t>(port), "/", body, 100), 0);
    EXPECT_EQ(m_messages.size(), 4u);
    for (int fd : fillers)
        close(fd);
    close(listener);
}

TEST_F(WebTest, SecondFetchWhileOneRunsIsRefused)
{
    m_fetcher.SetTimeoutMs(5000);
    int inner = 99;
    QTimer::singleShot(100, [&] {
        std::string other;
        inner = m_fetcher.Get("inner", "127.0.0.1", static_cast<uint16_t>(m_port), "/echo", other, 100);
        m_fetcher.Cancel();
    });
    std::string body;
    EXPECT_EQ(Fetch("/silent", body), 0);
    EXPECT_EQ(inner, -1);
    EXPECT_TRUE(m_messages.empty());
}

// ---- through tinyproxy with Basic authorisation

class ProxyTest : public WebTest {
protected:
    void SetUp() override
    {
        WebTest::SetUp();
        m_proxyPort = test::FreeLoopbackPort();
        std::string conf = m_dir + "/tinyproxy.conf";
        test::WriteFile(conf, "Port " + std::to_string(m_proxyPort) +
                                  "\nListen 127.0.0.1\nTimeout 10\nMaxClients 10\nAllow 127.0.0.1\n"
                                  "BasicAuth alice w0nder-land\nDisableViaHeader Yes\nLogLevel Critical\n"
                                  "LogFile \"" +
                                  m_dir + "/tinyproxy.log\"\nPidFile \"" + m_dir + "/tinyproxy.pid\"\n");
        m_proxy = std::make_unique<ChildProcess>(std::vector<std::string>{"tinyproxy", "-d", "-c", conf}, false);
        ASSERT_TRUE(test::WaitForListener(m_proxyPort));
    }
    void TearDown() override
    {
        m_proxy.reset();
        WebTest::TearDown();
    }
    void UseProxy(const std::string& user, const std::string& password)
    {
        WriteProxySettings({"127.0.0.1", std::to_string(m_proxyPort), user, password});
    }

    int m_proxyPort = 0;
    std::unique_ptr<ChildProcess> m_proxy;
};

TEST_F(ProxyTest, RightCredentialsPassWithTheAbsoluteUrl)
{
    UseProxy("alice", "w0nder-land");
    std::string body;
    ASSERT_EQ(Fetch("/echo", body), 1);
    EXPECT_EQ(m_fetcher.LastRequest(), "GET http://127.0.0.1:" + std::to_string(m_port) +
                                           "/echo HTTP/1.0\r\nProxy-authorization: Basic " +
                                           Base64Encode("alice:w0nder-land") + "\r\n\r\n");
    EXPECT_TRUE(body.starts_with("GET /echo HTTP/1.0\r\n")) << body;
    EXPECT_TRUE(m_dialogs.empty());
}

TEST_F(ProxyTest, WrongCredentialsAskAndCancelFailsOkRepeats)
{
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

TEST_F(ProxyTest, StoredPasswordReadsBackAndDependsOnTheUser)
{
    UseProxy("alice", "w0nder-land");
    ProxySettings read;
    ASSERT_TRUE(ReadProxySettings(read));
    EXPECT_EQ(read.password, "w0nder-land");
    EXPECT_EQ(read.port, std::to_string(m_proxyPort));
    std::string stored;
    settings::ReadRegistryString(settings::RegistryRoot::CurrentUser,
                                 std::string(settings::kProgramKey) + "Settings\\ProxyPassword", stored);
    EXPECT_EQ(stored.size(), 22u);
    EXPECT_EQ(stored.find("w0nder"), std::string::npos);
    settings::WriteRegistryString(settings::RegistryRoot::CurrentUser,
                                  std::string(settings::kProgramKey) + "Settings\\ProxyUserID=bob");
    ReadProxySettings(read);
    EXPECT_NE(read.password, "w0nder-land");
    // Without a server no proxy is used.
    WriteProxySettings({"", "", "", ""});
    EXPECT_FALSE(ReadProxySettings(read));
    ASSERT_EQ(Fetch("/echo", stored), 1);
    EXPECT_EQ(stored, "GET /echo HTTP/1.0\r\n\r\n");
}

// ---- station directory

struct FakeStationHost : StationHost {
    void ClearDisplay() override { record = StationRecord{}, name.clear(), ++clears; }
    void SetStationName(const std::string& n) override { name = n; }
    void SetStationRecord(const StationRecord& r) override { record = r; }
    bool ReceiverOpen() override { return open; }
    void CloseReceiver() override { open = false, ++closes; }
    bool OpenReceiver(const std::string& address, const std::string& n) override
    {
        opened.push_back(address + "|" + n);
        return open = true;
    }
    void OpenAddress(const std::string& address) override { addresses.push_back(address); }
    void Wait(int) override {}

    StationRecord record;
    std::string name;
    bool open = false;
    int clears = 0, closes = 0;
    std::vector<std::string> opened, addresses;
};

const std::string kListPath = "/cgi-local/kvo_list_stations.prl?DIR=stations&INFO=0&USERID=TESTUSER";

std::vector<std::string> RowTexts(const StationDirectory& directory)
{
    std::vector<std::string> rows;
    for (const StationNode* node : directory.Rows())
        rows.push_back(node->text);
    return rows;
}

class DirectoryTest : public WebTest {
protected:
    FakeStationHost m_host;
    StationDirectory m_directory{m_host, m_fetcher};

    void Activate(const std::string& text)
    {
        auto rows = RowTexts(m_directory);
        auto it = std::find(rows.begin(), rows.end(), text);
        ASSERT_NE(it, rows.end()) << text;
        m_directory.Select(static_cast<int>(it - rows.begin()));
        m_directory.ActivateDirectoryRow();
    }
};

const char* kTree = "+ Rock\n"
                    "++ Classic\n"
                    "++* 7F000001 24 24 ?/? Old Rock\n"
                    "+* 7F000001:4000 12 12 ?/? Rock One\n"
                    "+ Talk 0\n"
                    "+* 0A000001 36 36 ?/? Fast Talk\n"
                    "end of list\n"
                    "autorefresh: 90\n"
                    "end of all\n";

TEST_F(DirectoryTest, ShowsTopRowsAndKeepsExpansionOverARefresh)
{
    Serve(kListPath, kTree);
    m_directory.FetchStationDirectory();
    EXPECT_EQ(RowTexts(m_directory), (std::vector<std::string>{"+ Rock", "+ Talk"}));
    EXPECT_EQ(m_directory.AutoRefreshSeconds(), 90);
    Activate("+ Rock");
    EXPECT_EQ(RowTexts(m_directory),
              (std::vector<std::string>{"+ Rock", "++ Classic", "+* 127.0.0.1:4000 12 ?/? Rock One", "+ Talk"}));
    Activate("++ Classic");
    EXPECT_EQ(RowTexts(m_directory).size(), 5u);
    // A refresh with a new category: Rock and Classic stay open, the new one is closed.
    Serve(kListPath, std::string("+ New\n+* 01010101 12 12 ?/? N\n") + kTree);
    m_directory.FetchStationDirectory();
    EXPECT_EQ(RowTexts(m_directory),
              (std::vector<std::string>{"+ New", "+ Rock", "++ Classic", "++* 127.0.0.1:3456 24 ?/? Old Rock",
                                        "+* 127.0.0.1:4000 12 ?/? Rock One", "+ Talk"}));
    // The speed filter (28.8: at most 24) dropped Fast Talk.
    Activate("+ Talk");
    EXPECT_EQ(RowTexts(m_directory).back(), "+ Talk");
}

TEST_F(DirectoryTest, CollapsingWithoutRememberShowsOnlyDirectChildren)
{
    Serve(kListPath, kTree);
    m_directory.FetchStationDirectory();
    Activate("+ Rock");
    Activate("++ Classic");
    settings::CurrentSettings().rememberExpanded = 0;
    Activate("+ Rock");
    EXPECT_EQ(RowTexts(m_directory), (std::vector<std::string>{"+ Rock", "+ Talk"}));
    Activate("+ Rock");
    EXPECT_EQ(RowTexts(m_directory),
              (std::vector<std::string>{"+ Rock", "++ Classic", "+* 127.0.0.1:4000 12 ?/? Rock One", "+ Talk"}));
    // With the setting on, a reopened category shows its open subcategories' rows again.
    settings::CurrentSettings().rememberExpanded = 1;
    Activate("++ Classic");
    Activate("+ Rock");
    Activate("+ Rock");
    EXPECT_EQ(RowTexts(m_directory).size(), 5u);
}

TEST_F(DirectoryTest, MessageRowsForNoStationsAndNoReply)
{
    settings::CurrentSettings().connectionSpeed = 0;
    Serve(kListPath, "+ Rock\n+* 01020304 24 24 ?/? Too fast\nend of list\n");
    m_directory.FetchStationDirectory();
    EXPECT_EQ(RowTexts(m_directory), (std::vector<std::string>{"+ No Live Stations for 14.4 Modem", "+ Rock"}));
    m_server->Stop();
    m_directory.FetchStationDirectory();
    EXPECT_EQ(RowTexts(m_directory), (std::vector<std::string>{"+ Failed to get the station directory."}));
}

TEST_F(DirectoryTest, MessageShownOnceAndVersionAskedOncePerRun)
{
    Serve(kListPath, std::string(kTree).replace(std::string(kTree).find("end of all"), 0,
                                                "Message:5:abc:Welcome to the test\nKVOversion:1.40:http://dl/new\n"));
    m_directory.FetchStationDirectory();
    m_directory.FetchStationDirectory();
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[0], "Message from Lumetra Software: Welcome to the test");
    EXPECT_TRUE(m_messages[1].starts_with("New version: A newer version is available for download, do you want to "
                                          "download it now?\n\nCurrent version: 1.31\nNew version: 1.40\n"));
    EXPECT_EQ(settings::LastMessageId(), 5);
    EXPECT_TRUE(m_host.addresses.empty()); // answered No
    // A new run asks again; the message stays seen.
    StationDirectory again(m_host, m_fetcher);
    again.FetchStationDirectory();
    EXPECT_EQ(m_messages.size(), 3u);
    EXPECT_TRUE(m_messages[2].starts_with("New version: "));
    // The same version and an old message ask nothing.
    Serve(kListPath, "+ R\n+* 01020304 12 12 ?/? S\nend of list\nKVOversion:1.31:http://dl/\nMessage:0:abc:old\n");
    StationDirectory(m_host, m_fetcher).FetchStationDirectory();
    EXPECT_EQ(m_messages.size(), 3u);
}

TEST_F(DirectoryTest, StationRowIndexAndFileFetchTheRecordAndOpenTheReceiver)
{
    Serve(kListPath, kTree);
    Serve("/cgi-local/kvo_get_station.prl?IPHEX=7F000001:4000.rdl",
          "Name:Whatever\nEMAIL:dj@rock.example\nWWWURL:http://rock.example/\nWWWDESC:All rock\n"
          "Category:Rock\nLOCATION:Loopback\nStation:127.0.0.2:4001\nend of station\n");
    m_directory.FetchStationDirectory();
    Activate("+ Rock");
    m_host.open = true;
    Activate("+* 127.0.0.1:4000 12 ?/? Rock One");
    EXPECT_EQ(m_host.closes, 1);
    EXPECT_EQ(m_host.record.location, "Loopback");
    EXPECT_EQ(m_host.record.email, "dj@rock.example");
    EXPECT_EQ(m_host.name, "Rock One");
    ASSERT_EQ(m_host.opened.size(), 1u);
    EXPECT_EQ(m_host.opened[0], "127.0.0.2:4001 12 ?/? Rock One|Rock One");
    EXPECT_EQ(m_directory.CurrentStation(), 1);
    // By index: 0 is Old Rock (no record on the server: fields stay empty).
    EXPECT_EQ(m_directory.OpenStationByIndex(0), 1);
    EXPECT_EQ(m_host.opened.back(), "127.0.0.1:3456 24 ?/? Old Rock|Old Rock");
    EXPECT_EQ(m_host.record.location, "");
    EXPECT_EQ(m_directory.OpenStationByIndex(-1), 0);
    EXPECT_EQ(m_directory.OpenStationByIndex(7), 0);
    // A station file opens its address.
    Serve("/cgi-local/kvo_get_station.prl?IPHEX=7F000001.5000.rdl", "LOCATION:From file\n");
    std::string file = m_dir + "/s.rdl";
    test::WriteFile(file, "127.0.0.1:5000 My File Station\r\nignored\n");
    m_directory.SetRunning(true);
    m_directory.OpenStationFile(file);
    EXPECT_FALSE(m_directory.Running());
    EXPECT_EQ(m_host.opened.back(), "127.0.0.1:5000|My File Station");
    EXPECT_EQ(m_host.record.location, "From file");
    test::WriteFile(file, "127.0.0.1\n");
    m_directory.OpenStationFile(file);
    EXPECT_EQ(m_host.opened.back(), "127.0.0.1|no name");
    test::WriteFile(file, "radio.example:5000 x\n");
    m_directory.SetRunning(true);
    m_directory.OpenStationFile(file);
    EXPECT_EQ(m_host.opened.size(), 4u);
    EXPECT_FALSE(m_directory.Running());
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
        test::WriteFile(file, "[playlist]\nNumberOfEntries=1\nFile1=http://127.0.0.1:" + std::to_string(m_port) +
                                  target + "\n");
        return file;
    }
    static void WaitDone(StreamContext& stream)
    {
        for (int i = 0; i < 500 && stream.ThreadRunning(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
};

TEST_F(StreamTest, DownloadsTheBareStreamIntoTheStreamFile)
{
    std::string data;
    for (int i = 0; i < 300000; ++i)
        data += static_cast<char>(i * 7);
    test::WriteFile(m_root + "/" + Quote("/radio.mp3"), data);
    // Declared before the stream, which reports into them until it is destroyed.
    MediaItem item = MakeMediaItem();
    std::vector<int32_t> seen;
    std::mutex seenLock;
    StreamContext stream(m_dir + "/data/");
    stream.SetMedia(&item);
    stream.SetProgressSink([&](int32_t received, bool) {
        std::lock_guard lock(seenLock);
        seen.push_back(received);
    });
    ASSERT_EQ(StartPlaylistStream(Playlist("/radio.mp3"), stream), 1);
    EXPECT_EQ(item.streamState, 1);
    EXPECT_EQ(stream.Port(), m_port);
    WaitDone(stream);
    EXPECT_TRUE(stream.Done());
    EXPECT_EQ(stream.Received(), 300000);
    EXPECT_EQ(test::ReadFile(m_dir + "/data/ Streaming MP3"), data);
    {
        std::lock_guard lock(seenLock);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), 300000);
    }
    StopStream(stream);
    EXPECT_EQ(item.streamState, 0);
    EXPECT_EQ(stream.Received(), 0);
    // A playlist without an address changes nothing; a missing one starts nothing.
    std::string file = m_dir + "/x.m3u";
    test::WriteFile(file, "http://127.0.0.1/no-line-end");
    EXPECT_EQ(StartPlaylistStream(file, stream), 0);
    EXPECT_EQ(item.streamState, 0);
    EXPECT_EQ(StartPlaylistStream(m_dir + "/missing.m3u", stream), 1);
    EXPECT_FALSE(stream.ThreadRunning());
    // An unreachable stream ends at once and leaves the file empty.
    test::WriteFile(file, "http://127.0.0.1:" + std::to_string(test::FreeLoopbackPort()) + "/s\n");
    ASSERT_EQ(StartPlaylistStream(file, stream), 1);
    WaitDone(stream);
    EXPECT_TRUE(stream.Done());
    EXPECT_EQ(test::ReadFile(m_dir + "/data/ Streaming MP3"), "");
}

TEST_F(StreamTest, StopAndASecondStreamEndTheFirst)
{
    test::WriteFile(m_root + "/slow.bin", std::string(400000, 'a'));
    test::WriteFile(m_root + "/" + Quote("/b.bin"), std::string(1000, 'b'));
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
    EXPECT_EQ(test::ReadFile(m_dir + "/data/ Streaming MP3"), std::string(1000, 'b'));
    ASSERT_EQ(StartPlaylistStream(Playlist("/slow/slow.bin?rate=20000"), stream), 1);
    StopStream(stream);
    EXPECT_FALSE(stream.ThreadRunning());
}

struct FakePlayback : StreamPlaybackHost {
    MediaItem item = MakeMediaItem();
    bool playing = false;
    std::vector<std::string> calls;
    std::vector<std::string> statuses;
    MediaItem& CurrentItem() override { return item; }
    bool PlayingOrPaused() override { return playing; }
    void OpenCurrent(const std::string& path, int32_t start) override
    {
        calls.push_back("open " + path + " " + std::to_string(start));
    }
    void PlayCurrent() override
    {
        calls.push_back("play");
        playing = true;
    }
    void ReadFileSizeAndTags(MediaItem& i) override
    {
        calls.push_back("tags");
        i.fileSize = static_cast<int32_t>(test::ReadFile(i.path).size());
        i.totalSamples = 12345;
    }
    void SetStatusText(const std::string& text) override
    {
        if (statuses.empty() || statuses.back() != text)
            statuses.push_back(text);
    }
};

// The player's timer: status while the first 64000 bytes arrive, then playback
// of the stream file, and the final size once the download has ended.
TEST_F(StreamTest, TimerStartsPlaybackAfterTheFirst64000Bytes)
{
    test::WriteFile(m_root + "/slow.bin", std::string(100000, 's'));
    FakePlayback player;
    StreamContext stream(m_dir + "/data/");
    player.item.bitrate = 64;
    player.item.sampleRate = 44100;
    stream.SetMedia(&player.item);
    StreamTimer timer;
    ASSERT_EQ(StartPlaylistStream(Playlist("/slow/slow.bin?rate=100000&after=20000"), stream), 1);
    for (int i = 0; i < 400 && stream.ThreadRunning(); ++i) {
        timer.Tick(stream, player);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    timer.Tick(stream, player);
    timer.Tick(stream, player);
    ASSERT_FALSE(player.statuses.empty());
    EXPECT_TRUE(player.statuses[0].starts_with("streaming ")) << player.statuses[0];
    for (const std::string& status : player.statuses) {
        int bytes = std::atoi(status.c_str() + 10);
        EXPECT_GE(bytes, 0);
        EXPECT_LT(bytes, kStreamStartBytes);
    }
    std::string file = m_dir + "/data/ Streaming MP3";
    ASSERT_GE(player.calls.size(), 3u);
    EXPECT_EQ(player.calls[0], "open " + file + " 0");
    EXPECT_EQ(player.calls[1], "play");
    EXPECT_EQ(player.calls[2], "tags");
    EXPECT_EQ(player.calls.size(), 3u);
    EXPECT_EQ(player.item.streamState, 2);
    EXPECT_EQ(player.item.fileSize, 100000);
    EXPECT_EQ(player.item.totalSamples, 12345); // the host's length of the whole file
    EXPECT_STREQ(player.item.path, file.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
