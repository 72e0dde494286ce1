#include <gtest/gtest.h>

#include "fake_radio_host.h"

namespace lumetra::radio::testing {
namespace {

// Logon, refusals, rates, resend requests and reports against a fake host. The
// real station's answers (and the probes' link answers) are checked end to end.

TEST(RadioProtocol, StationAddressTakesPortAfterColonAndStopsAtBlank)
{
    EXPECT_EQ(ParseStationAddress("127.0.0.1:4000 Some Station").port, 4000);
    EXPECT_EQ(ParseStationAddress("127.0.0.1").port, kDefaultStationPort);
    EXPECT_EQ(ParseStationAddress("127.0.0.1:12ab").port, 12);
    EXPECT_EQ(ParseStationAddress("10.0.0.1:99").ipv4, 0x0A000001u);
    EXPECT_FALSE(ParseStationAddress("radio.example:3456").valid);
    EXPECT_FALSE(ParseStationAddress("").valid);
}

TEST(RadioProtocol, SilentStationGetsExactlyTenLogonsThenTooManyListeners)
{
    SessionRig rig;
    EXPECT_EQ(rig.host.sent.at(0).to.port, kStationPort);
    EXPECT_EQ(rig.host.sent[0].bytes.size(), 12u + 15 + 1); // "USERID=listener" and its NUL
    for (int i = 0; i < 80; ++i)
        rig.Tick(200);
    EXPECT_EQ(rig.host.SentOfKind(kKindLogonUnicast).size(), 10u);
    EXPECT_EQ(rig.Status(), "Station has too many listeners|sr");
    EXPECT_EQ(rig.session.Protocol().State().phase, LogonPhase::Idle);
}

TEST(RadioProtocol, RefusalLogsOffShowsItsTextAndStopsRetrying)
{
    for (auto [word, message, status] :
         {std::tuple{"BUSY", "", "Station has too many listeners."},
          {"busy", "", "Station has too many listeners."},
          {"IntranetOnly", "This site is only broadcasting to domain network only.",
           "Connection Failed - No internet connection"},
          {"NO14400", "The site is not supporting 14400 connection.", "Connection Failed - No 14,400 connection"}}) {
        SessionRig rig;
        rig.Receive(MakeText(0, 0x5555, kKindText, {word}));
        auto logoffs = rig.host.SentOfKind(kKindLogoff); // whatever stream the refusal names
        ASSERT_EQ(logoffs.size(), 1u);
        EXPECT_EQ(logoffs[0].bytes.size(), 12u);
        std::vector<std::pair<std::string, std::string>> messages;
        if (*message)
            messages.emplace_back("Radio Lumetra", message);
        EXPECT_EQ(rig.host.messages, messages);
        EXPECT_EQ(rig.Status(), std::string(status) + "|sr");
        for (int i = 0; i < 60; ++i)
            rig.Tick(200);
        EXPECT_EQ(rig.host.SentOfKind(kKindLogonUnicast).size(), 1u);
    }
}

TEST(RadioProtocol, StartWordIsCaseSensitiveAndAShortOneNamesNoStation)
{
    SessionRig rig;
    rig.Receive(MakeText(7, kStream, kKind8000, {"startseq", "X"}));
    EXPECT_EQ(rig.session.Protocol().State().phase, LogonPhase::UnicastPending);
    EXPECT_EQ(rig.audio.device, nullptr);
    rig.Receive(MakeText(0, kStream, kKind8000, {"STARTSEQ", ""})); // 10 bytes
    EXPECT_EQ(rig.Title(), "Radio Lumetra (Unknown Radio Station)");
}

TEST(RadioProtocol, StartMessageKindBitsChooseRatesAndOpenPausedByteOutput)
{
    // Rate code in bits 8..10, the native-rate bit 0x0400: output rate, coded rate.
    for (auto [bits, output, coded] : {std::tuple{0x0000, 11025, 8000},
                                       {0x0100, 22050, 16000},
                                       {0x0200, 44100, 32000},
                                       {0x0300, 22050, 16000},
                                       {0x0500, 22050, 22050},
                                       {0x0400, 11025, 11025}}) {
        SessionRig rig;
        rig.Start(0, uint16_t(kKindText | bits));
        EXPECT_EQ(rig.session.Protocol().State().outputRate, output) << bits;
        EXPECT_EQ(rig.session.Protocol().State().codedRate, coded) << bits;
        // The start message opens the output paused, 8-bit mono at the coded rate, and ends the logons.
        ASSERT_NE(rig.audio.device, nullptr);
        EXPECT_EQ(rig.audio.device->Format().samplesPerSec, uint32_t(coded));
        EXPECT_EQ(rig.audio.device->Format().bitsPerSample * rig.audio.device->Format().channels, 8);
        EXPECT_TRUE(rig.audio.device->paused);
        EXPECT_EQ(rig.host.volumeApplied, 1);
        EXPECT_STREQ(rig.display.stationName, "Test FM");
        for (int i = 0; i < 60; ++i)
            rig.Tick(200);
        EXPECT_EQ(rig.host.SentOfKind(kKindLogonUnicast).size(), 1u);
    }
}

TEST(RadioProtocol, DeviceRefusingCodedRateFallsBackToOutputRateThenGivesUp)
{
    SessionRig rig;
    rig.audio.refusedRates = {8000};
    rig.Start(0);
    ASSERT_NE(rig.audio.device, nullptr);
    EXPECT_EQ(rig.audio.device->Format().samplesPerSec, 11025u);
    // The block is laid out at the coded rate: each datagram's share is stretched.
    for (uint32_t q = 8; q < 16; ++q)
        rig.Audio(q, 10);
    ASSERT_EQ(rig.audio.device->queue.size(), 8u);
    EXPECT_EQ(rig.audio.device->queue[0]->bufferLength, 11025u * 2048 / 8000);

    SessionRig neither;
    neither.audio.refusedRates = {8000, 11025};
    neither.Start(0);
    EXPECT_EQ(neither.audio.device, nullptr);
    EXPECT_EQ(neither.session.Protocol().State().phase, LogonPhase::UnicastPending);
    EXPECT_EQ(neither.host.messages.at(0).first, "Radio Lumetra");
}

TEST(RadioProtocol, TwentyAheadRequestsTheFifteenJustBelow)
{
    SessionRig rig;
    rig.Start(100);
    rig.Audio(101);
    rig.host.sent.clear();
    rig.Audio(121);
    auto requests = rig.host.SentOfKind(kKindFeedback, 0);
    ASSERT_EQ(requests.size(), 15u);
    for (size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].Header().sequence, 106 + i);
        EXPECT_EQ(requests[i].bytes.size(), 22u);
        EXPECT_EQ(requests[i].bytes[12], 0x01);
    }
    // Older and repeated numbers ask for nothing.
    rig.host.sent.clear();
    rig.Audio(110);
    rig.Audio(121);
    EXPECT_TRUE(rig.host.SentOfKind(kKindFeedback, 0).empty());
    rig.Audio(123);
    ASSERT_EQ(rig.host.SentOfKind(kKindFeedback, 0).size(), 1u);
    EXPECT_EQ(rig.host.SentOfKind(kKindFeedback, 0)[0].Header().sequence, 122u);
}

TEST(RadioProtocol, EveryNinthAudioDatagramReportsTheLastBlockAndTheFirstReportIsAllOnes)
{
    SessionRig first;
    first.Start(0);
    for (uint32_t q : {8, 9, 10, 11, 12, 0, 1, 2, 3}) // the early ones are dropped but still counted
        first.Audio(q);
    auto reports = first.host.SentOfKind(kKindFeedback, 32);
    ASSERT_EQ(reports.size(), 1u);
    for (int i = 12; i < 44; ++i)
        EXPECT_EQ(reports[0].bytes[size_t(i)], 0x01) << i;

    SessionRig rig;
    rig.Start(7); // first block 8..15
    for (uint32_t q = 8; q < 16; ++q)
        rig.Audio(q);
    rig.Audio(17); // ninth; datagram 16 missing
    for (uint32_t q = 18; q < 27; ++q)
        rig.Audio(q);
    reports = rig.host.SentOfKind(kKindFeedback, 32);
    ASSERT_EQ(reports.size(), 2u);
    // Block 8..15 arrived whole: eight little-endian 1s; block 16..23 lacked datagram 16.
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(reports[0].bytes[12 + 4 * i] | reports[0].bytes[13 + 4 * i] << 8, 1);
    EXPECT_EQ(reports[1].bytes[12], 0);
    EXPECT_EQ(reports[1].bytes[16], 1);
}

TEST(RadioProtocol, WordsOfOtherStreamsStrangersAndShortDatagramsAreDropped)
{
    SessionRig rig;
    rig.Start(0);
    size_t before = rig.host.sent.size();
    rig.Receive(MakeText(0, kStream + 1, kKindText, {"SONGTEXT", "x"}));
    rig.Receive(MakeText(0, kStream + 1, kKindText, {"LOGON/A"}));
    // Same station address, another port: not the station.
    rig.Receive(MakeText(0, kStream, kKindText, {"BUSY"}), kStationPort + 1);
    rig.session.OnDatagram(MakeText(0, kStream, kKindText, {"BUSY"}), kStationIp + 1, kStationPort);
    uint8_t shortDatagram[11] = {};
    rig.Receive({shortDatagram, shortDatagram + 11});
    EXPECT_EQ(rig.host.sent.size(), before);
    EXPECT_EQ(rig.session.Protocol().State().phase, LogonPhase::Receiving);

    // A length field beyond the data is cut to what arrived.
    auto bytes = MakeText(1, 2, kKindText, {"STARTSEQ", "Name"});
    bytes[10] = bytes[11] = 0xFF;
    auto d = ParseDatagram(bytes);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->header.length, 0xFFFF);
    EXPECT_EQ(d->payload.size(), bytes.size() - kHeaderBytes);
}

TEST(RadioProtocol, ConnectWhilePlayingStopsFirstThenLogsOnAgain)
{
    SessionRig rig;
    rig.Start(0);
    rig.host.sent.clear();
    rig.session.Connect("127.0.0.1:4000");
    ASSERT_EQ(rig.host.sent.size(), 2u);
    EXPECT_EQ(rig.host.sent[0].Header().kind, kKindLogoff);
    EXPECT_EQ(rig.host.sent[1].Header().kind, kKindLogonUnicast);
    EXPECT_EQ(rig.audio.device, nullptr);
    EXPECT_EQ(rig.Title(), "Radio Lumetra");
    EXPECT_EQ(rig.session.Blocks().Vars().state, ReceptionState::Connecting);
}

TEST(RadioProtocol, GroupAnswerWaitsForMulticastAudioThenGivesUp)
{
    SessionRig rig;
    rig.Receive(MakeText(16, kStream, kKindGroup, {"224.1.2.3", "Group FM", "song"}));
    EXPECT_EQ(rig.session.Protocol().State().phase, LogonPhase::WaitingMulticast);
    EXPECT_EQ(rig.session.Protocol().State().group, "224.1.2.3");
    EXPECT_EQ(rig.Title(), "Radio Lumetra (Group FM)");
    for (int i = 0; i < 99; ++i)
        rig.Tick(200);
    EXPECT_EQ(rig.host.stopsPosted, 0);
    rig.Tick(400); // 20 s without audio
    EXPECT_EQ(rig.host.stopsPosted, 1);
    EXPECT_EQ(rig.host.messages.at(0).second, "No MBONE packets coming through, stopping.");
    EXPECT_EQ(rig.session.Protocol().State().phase, LogonPhase::Idle);

    SessionRig none;
    none.Receive(MakeText(16, kStream, kKindGroup, {"0.0.0.0", "Group FM"}));
    EXPECT_EQ(none.host.stopsPosted, 1);
    EXPECT_EQ(none.host.messages.at(0).second, "The site does not support MBONE.");
}

TEST(RadioProtocol, SocketFailureShowsMessageAndSendsNothing)
{
    SessionRig rig(24);
    EXPECT_TRUE(rig.host.sent.empty());
    EXPECT_EQ(rig.host.messages.at(0).first, "Radio Lumetra");
}

} // namespace
} // namespace lumetra::radio::testing
