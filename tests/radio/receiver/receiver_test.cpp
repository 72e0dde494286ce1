#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fake_radio_host.h"
#include "radio/receiver/receiver.h"

namespace lumetra::radio::testing {
namespace {

// A station stand-in on a loopback socket: records what the receiver sends and
// answers from the same address and port.
class LoopbackPeer {
public:
    LoopbackPeer()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &n);
        port = ntohs(a.sin_port);
    }
    ~LoopbackPeer() { ::close(m_fd); }

    void Poll()
    {
        uint8_t buf[6000];
        sockaddr_in from{};
        socklen_t n = sizeof from;
        ssize_t got;
        while ((got = ::recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &n)) > 0) {
            received.emplace_back(buf, buf + got);
            m_peer = from;
        }
    }
    // To the receiver, or to another port of loopback.
    void Send(const std::vector<uint8_t>& bytes, uint16_t to = 0)
    {
        sockaddr_in a = m_peer;
        if (to != 0) {
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(to);
        }
        ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    uint16_t PeerPort() const { return ntohs(m_peer.sin_port); }
    size_t CountKind(uint16_t kind)
    {
        size_t c = 0;
        for (auto& d : received)
            if (ParseDatagram(d) && ParseDatagram(d)->header.kind == kind)
                ++c;
        return c;
    }

    uint16_t port = 0;
    std::vector<std::vector<uint8_t>> received;

private:
    int m_fd = -1;
    sockaddr_in m_peer{};
};

class ReceiverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "receiver_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    ReceiverEnvironment Environment()
    {
        ReceiverEnvironment env;
        env.audio = &audio;
        env.profileDirectory = profile.path().toStdString();
        env.userId = [] { return std::string("tester"); };
        env.notice = [this](std::string_view n) {
            if (n == "UpdateInfo")
                statuses.push_back(display.statusText);
        };
        env.titleChanged = [this](const std::string& t) { titles.push_back(t); };
        return env;
    }

    template <typename Pred>
    bool WaitFor(Pred done, LoopbackPeer& peer)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            peer.Poll();
            if (done())
                return true;
            ::usleep(2000);
        }
        return false;
    }

    std::string Address(const LoopbackPeer& peer) { return "127.0.0.1:" + std::to_string(peer.port) + " Loop"; }

    QTemporaryDir profile;
    FakeAudio audio;
    RadioDisplay display{};
    std::vector<std::string> statuses;
    std::vector<std::string> titles;
};

TEST_F(ReceiverTest, LogsOnOverLoopbackAndFollowsTheStation)
{
    LoopbackPeer station;
    Receiver* r = OpenReceiver(display, Address(station), Environment());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(display.active, 1);
    EXPECT_EQ(OpenReceiver(display, "127.0.0.1:1", Environment()), r); // one per process, unchanged

    ASSERT_TRUE(WaitFor([&] { return station.CountKind(kKindLogonUnicast) >= 1; }, station));
    auto logon = station.received[0];
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(logon.data()) + 12), "USERID=tester");

    station.Send(MakeText(40, kStream, kKind8000, {"STARTSEQ", "Loop Radio", "x"}));
    ASSERT_TRUE(WaitFor([&] { return !titles.empty() && titles.back() == "Radio Lumetra (Loop Radio)"; }, station));
    EXPECT_STREQ(display.stationName, "Loop Radio");

    // A refusal from anyone but the station is dropped.
    LoopbackPeer stranger;
    stranger.Send(MakeText(0, kStream, kKindText, {"BUSY"}), station.PeerPort());

    // 41..47 lie in the skipped block; 48..55 complete the first block. The
    // receive buffer is small, as a station's pacing allows: send one at a time.
    for (uint32_t q = 41; q <= 56; ++q) {
        uint8_t payload[5] = {1, 0, 0, 0, 0};
        station.Send(MakeDatagram(q, kStream, kKindAudio, payload));
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    ASSERT_TRUE(WaitFor(
        [&] { return station.CountKind(kKindFeedback) >= 1 && audio.device && audio.device->queue.size() == 8; },
        station));
    EXPECT_TRUE(r->Receiving());
    EXPECT_EQ(station.CountKind(kKindLogoff), 0u);
    EXPECT_EQ(statuses.back(), "Buffering (56%)");

    r->KeyReleased(ReceiverKey::Other);
    EXPECT_EQ(r->Title(), "filtering > 2");

    CloseReceiver();
    EXPECT_EQ(CurrentReceiver(), nullptr);
    EXPECT_EQ(display.active, 0);
    ASSERT_TRUE(WaitFor([&] { return station.CountKind(kKindLogoff) >= 1; }, station));
    QSettings zeph(profile.path() + "/zeph.ini", QSettings::IniFormat);
    EXPECT_EQ(zeph.value("Stations/RadioX").toString(), "100");
    EXPECT_EQ(zeph.value("Stations/RadioY").toString(), "50");
    QCoreApplication::processEvents();
}

} // namespace
} // namespace lumetra::radio::testing
