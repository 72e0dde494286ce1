// lumetra-station as a receiver meets it: a small UDP client on loopback logs on
// and checks every datagram the station answers with.

#include "radio/codec/wavelet_decoder.h"
#include "radio/receiver/datagram.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

struct Datagram {
    uint32_t seq = 0, stream = 0;
    uint16_t kind = 0, length = 0;
    Bytes payload;
    // The NUL-separated words of a text message.
    std::vector<std::string> Words() const
    {
        std::vector<std::string> w(1);
        for (uint8_t b : payload) {
            if (b == 0)
                w.emplace_back();
            else
                w.back() += static_cast<char>(b);
        }
        w.pop_back();
        return w;
    }
};

// The station under test, started with a free port and stopped with SIGTERM.
class StationProcess {
public:
    explicit StationProcess(std::vector<std::string> args)
    {
        int out[2];
        if (pipe(out) != 0)
            return;
        args.insert(args.begin(), {LUMETRA_STATION_BINARY, "--port", "0"});
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        m_out = fdopen(out[0], "r");
        char line[1024];
        while (m_out && std::fgets(line, sizeof line, m_out)) {
            std::string l(line);
            auto at = l.find("127.0.0.1:");
            if (at != std::string::npos && l.starts_with("station "))
                m_ports.push_back(static_cast<uint16_t>(std::stoi(l.substr(at + 10))));
            else if (at != std::string::npos)
                m_directoryPort = static_cast<uint16_t>(std::stoi(l.substr(at + 10)));
            if (l == "ready\n")
                break;
        }
        m_port = m_ports.empty() ? 0 : m_ports[0];
    }
    ~StationProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out)
            std::fclose(m_out);
    }
    uint16_t Port() const { return m_port; }
    const std::vector<uint16_t>& Ports() const { return m_ports; }
    uint16_t DirectoryPort() const { return m_directoryPort; }
    void Signal(int sig) const { kill(m_pid, sig); }

private:
    pid_t m_pid = -1;
    FILE* m_out = nullptr;
    uint16_t m_port = 0, m_directoryPort = 0;
    std::vector<uint16_t> m_ports;
};

class Client {
public:
    // A stream socket is connected at once (for the directory service).
    explicit Client(uint16_t stationPort, int type = SOCK_DGRAM)
    {
        m_fd = socket(AF_INET, type, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
        m_station.sin_family = AF_INET;
        m_station.sin_port = htons(stationPort);
        m_station.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (type == SOCK_STREAM)
            connect(m_fd, reinterpret_cast<sockaddr*>(&m_station), sizeof m_station);
    }
    ~Client() { close(m_fd); }
    int Fd() const { return m_fd; }
    // The receiver's own datagrams.
    void Send(std::span<const uint8_t> b)
    {
        sendto(m_fd, b.data(), b.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&m_station), sizeof m_station);
    }
    void Logon(uint16_t kind = 4) { Send(lumetra::radio::MakeLogon(kind, "tester", 0, 0)); }
    void Logoff() { Send(lumetra::radio::MakeLogoff(0, 0)); }
    std::optional<Datagram> Receive(int timeoutMs)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return std::nullopt;
        uint8_t buf[6000];
        const ssize_t n = recv(m_fd, buf, sizeof buf, 0);
        if (n < 12)
            return std::nullopt;
        Datagram d;
        d.seq = uint32_t(buf[0]) << 24 | buf[1] << 16 | buf[2] << 8 | buf[3];
        d.stream = uint32_t(buf[4]) << 24 | buf[5] << 16 | buf[6] << 8 | buf[7];
        d.kind = static_cast<uint16_t>(buf[8] << 8 | buf[9]);
        d.length = static_cast<uint16_t>(buf[10] << 8 | buf[11]);
        d.payload.assign(buf + 12, buf + n);
        return d;
    }
    // Everything that arrives within ms.
    std::vector<Datagram> Collect(int ms)
    {
        std::vector<Datagram> all;
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            const int left =
                static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            if (auto d = Receive(std::max(left, 1)))
                all.push_back(*d);
        }
        return all;
    }
    // Datagrams until one of the kind arrives (or ms pass).
    std::optional<Datagram> WaitFor(uint16_t kindBit, int ms)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end)
            if (auto d = Receive(50); d && (d->kind & kindBit))
                return d;
        return std::nullopt;
    }

private:
    int m_fd = -1;
    sockaddr_in m_station{};
};

std::vector<Datagram> OfKind(const std::vector<Datagram>& all, uint16_t bit)
{
    std::vector<Datagram> r;
    std::copy_if(all.begin(), all.end(), std::back_inserter(r), [bit](const Datagram& d) { return d.kind & bit; });
    return r;
}

bool Audible(const Datagram& d)
{
    std::array<uint8_t, lumetra::radio::kFrameSamples> s{};
    lumetra::radio::DecodeFrame(d.payload, false, 2, s);
    int peak = 0;
    for (uint8_t v : s)
        peak = std::max(peak, std::abs(v - 128));
    return peak > 8;
}

// ---- start of a stream -------------------------------------------------------------

TEST(StationStart, LogonGetsStartseqProbesThenNumberedAudioAtEachRate)
{
    // Sped up to about 30 datagrams a second whatever the rate.
    using Args = std::vector<std::string>;
    for (auto [rateArgs, rateBits] : {std::pair{Args{"--rate", "8000", "--speed-factor", "8"}, 0x0000},
                                      {Args{"--rate", "16000", "--speed-factor", "4"}, 0x0100},
                                      {Args{"--rate", "32000", "--speed-factor", "2"}, 0x0200},
                                      {Args{"--rate", "22050", "--native", "--speed-factor", "3"}, 0x0500}}) {
        Args args{"--station", "Test Radio", "--title", "Test Song", "--stream-id", "4242", "--start-seq", "5000"};
        args.insert(args.end(), rateArgs.begin(), rateArgs.end());
        StationProcess station(args);
        ASSERT_NE(station.Port(), 0);
        Client client(station.Port());
        client.Logon();
        const auto start = client.WaitFor(0x0004, 2000);
        ASSERT_TRUE(start);
        EXPECT_EQ(start->Words(), (std::vector<std::string>{"STARTSEQ", "Test Radio", "Test Song"}));
        EXPECT_EQ(start->length, start->payload.size());
        EXPECT_EQ(start->kind, 0x0004 | rateBits) << rateArgs[1];
        EXPECT_EQ(start->stream, 4242u);
        EXPECT_GE(start->seq, 5000u);

        const auto rest = client.Collect(1500);
        std::vector<Datagram> probes = OfKind(rest, 0x0800), audio = OfKind(rest, 0x8000);
        EXPECT_GE(probes.size(), 9u);
        for (const auto& p : probes)
            EXPECT_EQ(p.stream, 4242u);
        ASSERT_GE(audio.size(), 5u);
        for (std::size_t k = 0; k < audio.size(); ++k) {
            EXPECT_EQ(audio[k].seq, start->seq + 1 + k);
            EXPECT_EQ(audio[k].stream, 4242u);
            EXPECT_EQ(audio[k].kind, 0x8000);
            EXPECT_EQ(audio[k].length, audio[k].payload.size());
            EXPECT_LE(audio[k].payload.size(), 5120u);
        }
        EXPECT_TRUE(std::any_of(audio.begin(), audio.end(), Audible));
        client.Logoff();
    }
}

// ---- answers other than a stream ----------------------------------------------------

// Each refusal word alone; a silent station says nothing; a multicast logon learns
// that there is no group. The receiver's side of each is checked against a fake host.
TEST(StationAnswer, LogonsThatGetNoStreamGetTheirWordOnly)
{
    using Words = std::vector<std::string>;
    for (auto [args, kind, words] :
         {std::tuple{Words{"--answer", "busy"}, 4, Words{"BUSY"}},
          {Words{"--answer", "closed"}, 4, Words{"BUSY", "ClosedSite"}},
          {Words{"--answer", "intranet"}, 4, Words{"IntranetOnly"}},
          {Words{"--answer", "no14400"}, 4, Words{"No14400"}},
          {Words{"--answer", "silent"}, 4, Words{}},
          {Words{"--station", "Uni Only"}, 2, Words{"0.0.0.0", "Uni Only", "Lumetra Demo Loop"}}}) {
        StationProcess station(args);
        Client client(station.Port());
        client.Logon(uint16_t(kind));
        const auto all = client.Collect(700);
        ASSERT_EQ(all.size(), words.empty() ? 0u : 1u) << args[1];
        if (!words.empty()) {
            EXPECT_EQ(all[0].kind & 0x0006, kind) << args[1];
            EXPECT_EQ(all[0].Words(), words);
        }
    }
    // A full station does not answer at all.
    StationProcess full({"--max-listeners", "1", "--speed-factor", "8"});
    Client first(full.Port()), second(full.Port());
    first.Logon();
    ASSERT_TRUE(first.WaitFor(0x0004, 2000));
    second.Logon();
    EXPECT_TRUE(second.Collect(600).empty());
}

// ---- logoff and log -----------------------------------------------------------

TEST(StationLogoff, AudioStopsAfterLogoffAndTheLogHoldsEveryDatagram)
{
    const auto log = std::filesystem::temp_directory_path() / ("station_log_" + std::to_string(getpid()));
    std::filesystem::remove(log);
    {
        StationProcess station({"--log", log.string(), "--speed-factor", "8"});
        Client client(station.Port());
        client.Logon();
        ASSERT_TRUE(client.WaitFor(0x8000, 2000));
        client.Send(lumetra::radio::MakeReceptionReport(0, 0, {1, 1, 1, 1, 1, 1, 1, 1}));
        client.Logoff();
        client.Collect(200); // what was under way
        EXPECT_TRUE(OfKind(client.Collect(500), 0x8000).empty());
    }
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    std::filesystem::remove(log);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("bytes=26 seq=0 stream=0 kind=0x0004 length=13 payload=5553455249443d74657374657200"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("bytes=44 seq=0 stream=0 kind=0x0008 length=32 payload=01000000010000000100"),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find("bytes=12 seq=0 stream=0 kind=0x0010 length=0 payload="), std::string::npos) << lines[2];
}

// ---- faults ----------------------------------------------------------------------

// Loss, dropped numbers and refused resends are heard by the player end to end;
// duplicates come in equal pairs, reordered neighbours in swapped pairs.
TEST(StationFaults, DuplicateAndReorderShapeTheAudioSequence)
{
    for (auto [fault, step] : {std::pair{"--duplicate", 0u}, std::pair{"--reorder", 1u}}) {
        StationProcess station({"--speed-factor", "8", "--songtext-every", "0", fault, "100"});
        Client client(station.Port());
        client.Logon();
        ASSERT_TRUE(client.WaitFor(0x0004, 2000));
        const auto audio = OfKind(client.Collect(600), 0x8000);
        ASSERT_GE(audio.size(), 6u) << fault;
        for (std::size_t k = 0; k + 1 < audio.size(); k += 2)
            EXPECT_EQ(audio[k].seq, audio[k + 1].seq + step) << fault;
    }
}

// Half the sign changes of a datagram's decoded sound (past a small dead band).
int Cycles(const Datagram& d)
{
    std::array<uint8_t, lumetra::radio::kFrameSamples> s{};
    lumetra::radio::DecodeFrame(d.payload, false, 2, s);
    int changes = 0, side = 0;
    for (uint8_t v : s) {
        const int now = v > 136 ? 1 : v < 120 ? -1 : side;
        changes += side != 0 && now != side;
        side = now;
    }
    return changes / 2;
}

// A 1 kHz MP3 at 44.1 kHz decodes, through the codec, to 1 kHz at each coded
// rate: the file is resampled to the coded rate, never sent at its own.
TEST(StationFile, MpegFileIsResampledToTheCodedRate)
{
    const std::string mp3 = std::filesystem::temp_directory_path() / ("station_" + std::to_string(getpid()) + ".mp3");
    if (std::system(("sox -V1 -n -t wav - synth 3 sine 1000 vol 0.5 | lame --quiet -b 128 - " + mp3).c_str()) != 0)
        GTEST_SKIP() << "sox and lame are needed";
    for (const char* rate : {"8000", "32000", "22050"}) {
        std::vector<std::string> args{"--file", mp3, "--rate", rate, "--speed-factor", "4"};
        if (rate[0] == '2')
            args.push_back("--native");
        StationProcess station(args);
        Client client(station.Port());
        client.Logon();
        const auto audio = OfKind(client.Collect(1000), 0x8000);
        ASSERT_GE(audio.size(), 4u) << rate;
        double cycles = 0;
        for (const auto& d : audio)
            cycles += Cycles(d);
        EXPECT_NEAR(cycles * std::stoi(rate) / (2048.0 * audio.size()), 1000, 50) << rate;
    }
    std::filesystem::remove(mp3);
}

// --delay holds every first sending back by its time, in order; SIGUSR1 takes
// the station off the air and SIGUSR2 brings it back to the same listener (kept
// though silent), its numbers having run on.
TEST(StationTiming, DelayHoldsAudioBackAndSignalsPauseAndResumeIt)
{
    StationProcess delayed({"--speed-factor", "8", "--songtext-every", "0", "--delay", "2100"});
    Client client(delayed.Port());
    client.Logon();
    ASSERT_TRUE(client.WaitFor(0x0004, 2000));
    const auto loggedOn = Clock::now();
    ASSERT_TRUE(client.WaitFor(0x8000, 5000));
    EXPECT_GE(Clock::now() - loggedOn, std::chrono::milliseconds(2000));
    const auto later = OfKind(client.Collect(300), 0x8000);
    for (std::size_t k = 1; k < later.size(); ++k)
        EXPECT_EQ(later[k].seq, later[k - 1].seq + 1);

    StationProcess live({"--speed-factor", "8", "--songtext-every", "0"});
    Client listener(live.Port());
    listener.Logon();
    auto last = listener.WaitFor(0x8000, 2000);
    ASSERT_TRUE(last);
    live.Signal(SIGUSR1);
    for (const auto& d : OfKind(listener.Collect(500), 0x8000)) // what was under way
        last = d;
    // Longer than a silent listener is kept (30 s sped up 8 times).
    EXPECT_TRUE(OfKind(listener.Collect(4000), 0x8000).empty());
    live.Signal(SIGUSR2);
    const auto back = listener.WaitFor(0x8000, 2000);
    ASSERT_TRUE(back);
    EXPECT_GT(back->seq, last->seq + 100); // 4 s at 32 ms a datagram
}

// --demo after --port 0: three stations on free ports at the three coded rates,
// each listed with its port by the directory service.
TEST(StationDemo, ThreeStationsAtTheirRatesListedByTheDirectory)
{
    StationProcess demo({"--demo", "--directory-port", "0"});
    ASSERT_EQ(demo.Ports().size(), 3u);
    const std::string request = "GET /cgi-local/kvo_list_stations.prl\r\n\r\n";
    std::string listing;
    Client http(demo.DirectoryPort(), SOCK_STREAM);
    http.Send({reinterpret_cast<const uint8_t*>(request.data()), request.size()});
    char buf[4096];
    for (ssize_t n; (n = recv(http.Fd(), buf, sizeof buf, 0)) > 0;)
        listing.append(buf, static_cast<std::size_t>(n));
    for (auto [k, name, rateBits] : {std::tuple{0, "Lumetra Demo", 0x0000}, {1, "Lumetra Demo FM", 0x0100},
                                     {2, "Lumetra Demo Hi-Fi", 0x0200}}) {
        EXPECT_NE(listing.find("7F000001:" + std::to_string(demo.Ports()[k]) + " "), std::string::npos) << listing;
        Client client(demo.Ports()[k]);
        client.Logon();
        const auto start = client.WaitFor(0x0004, 2000);
        ASSERT_TRUE(start) << name;
        EXPECT_EQ(start->Words(), (std::vector<std::string>{"STARTSEQ", name, "Lumetra Demo Loop"}));
        EXPECT_EQ(start->kind, 0x0004 | rateBits) << name;
        EXPECT_TRUE(client.WaitFor(0x8000, 2000)) << name;
    }
}

TEST(StationFile, UnreadableFileStopsTheStationWithAMessage)
{
    const std::string cmd =
        std::string(LUMETRA_STATION_BINARY) + " --port 0 --file /nonexistent/none.mp3 >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

} // namespace
