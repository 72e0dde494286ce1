// The station command line: what each station gets, and what is refused.

#include "tools/station/station_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumetra::station {
namespace {

struct Parsed {
    bool ok = false;
    std::string error;
    StationSetConfig config;
};

Parsed Parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "lumetra-station");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    Parsed p;
    bool help = false;
    p.ok = ParseStationArguments(static_cast<int>(argv.size()), argv.data(), p.config, p.error, help);
    return p;
}

TEST(StationConfig, EachStationStartsAfreshOnTheNextPort)
{
    const Parsed p =
        Parse({"--port", "4000", "--rate", "16000", "--station", "One", "--answer", "busy", "--loss", "5", "--station",
               "Two", "--native", "--rate", "44100", "--bitrate", "64000", "--drop-seq", "3,9"});
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.config.stations.size(), 2u);
    const StationConfig& one = p.config.stations[0];
    const StationConfig& two = p.config.stations[1];
    EXPECT_EQ(one.name, "One");
    EXPECT_EQ(one.port, 4000);
    EXPECT_EQ(one.codedRate, 16000);
    EXPECT_EQ(one.answer, LogonAnswer::Busy);
    EXPECT_EQ(one.lossPercent, 5);
    EXPECT_EQ(two.name, "Two");
    EXPECT_EQ(two.port, 4001);
    EXPECT_EQ(two.answer, LogonAnswer::Accept);
    EXPECT_EQ(two.lossPercent, 0);
    EXPECT_EQ(two.OutputRate(), 44100);
    EXPECT_EQ(two.FrameBudgetBytes(), 64000 * 2048 / 44100 / 8);
    EXPECT_EQ(two.dropSequences, (std::set<uint32_t>{3, 9}));
}

TEST(StationConfig, BudgetStaysWithinOneDatagram)
{
    StationConfig s;
    s.bitRate = 10'000'000;
    EXPECT_EQ(s.FrameBudgetBytes(), 5120);
    s.bitRate = 1;
    EXPECT_EQ(s.FrameBudgetBytes(), 16);
}

TEST(StationConfig, BadArgumentsAreRefusedWithAMessage)
{
    using Args = std::vector<std::string>;
    for (const Args& args : {Args{"--bogus"}, Args{"--port"}, Args{"--port", "70000"}, Args{"--rate", "11025"},
                             Args{"--rate", "16000", "--native"}, Args{"--answer", "maybe"}, Args{"--loss", "120"},
                             Args{"--drop-seq", "1,x"}, Args{"--speed-factor", "0"}}) {
        const Parsed p = Parse(args);
        EXPECT_FALSE(p.ok) << args[0];
        EXPECT_FALSE(p.error.empty()) << args[0];
    }
}

} // namespace
} // namespace lumetra::station
