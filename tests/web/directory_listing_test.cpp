// The directory service's documents read back by the player's own readers.
#include "tools/station/directory_listing.h"
#include "web/directory_reply.h"

#include <gtest/gtest.h>

using namespace lumetra;

namespace {

std::vector<station::DirectoryStation> Stations()
{
    return {
        {"Lumetra Demo", "127.0.0.1", 3456, "Demo", "16k", "Generated music"},
        {"Lumetra Demo FM", "127.0.0.1", 3457, "Demo", "32k", "Line\nbreak"},
        {"Talk", "127.0.0.2", 4000, "", "", "Words"},
        {"Not dotted", "radio.example", 5000, "Demo", "8k", ""},
    };
}

TEST(DirectoryListing, ReadsBackAsTheDirectoryTree)
{
    station::DirectoryExtras extras;
    extras.messageId = 3;
    extras.messageText = "Hello";
    extras.version = "1.40";
    extras.versionUrl = "http://www.lumetra.example/download/";
    std::string listing = station::StationListing(Stations(), extras);
    web::DirectoryReply reply = web::ParseDirectoryReply(listing, 800);
    std::vector<std::string> texts;
    for (const auto& node : reply.nodes)
        texts.push_back(node.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"+ Demo", "+* 127.0.0.1:3456 16k ?/? Lumetra Demo",
                                               "+* 127.0.0.1:3457 32k ?/? Lumetra Demo FM", "+ Stations",
                                               "+* 127.0.0.2:4000 24k ?/? Talk"}));
    EXPECT_EQ(reply.nodes[1].addressHex, "7F000001");
    EXPECT_EQ(reply.nodes[2].addressHex, "7F000001:3457");
    EXPECT_EQ(web::StationNameOf(reply.nodes[2].text), "Lumetra Demo FM");
    EXPECT_EQ(reply.autoRefreshSeconds, 60);
    ASSERT_EQ(reply.messages.size(), 1u);
    EXPECT_EQ(reply.messages[0].id, 3);
    EXPECT_EQ(reply.messages[0].text, "Hello");
    ASSERT_EQ(reply.versions.size(), 1u);
    EXPECT_EQ(reply.versions[0].downloadUrl, "http://www.lumetra.example/download/");
    // The default connection speed (24) keeps the 16k and 24k stations only.
    EXPECT_EQ(web::ParseDirectoryReply(listing, 24).stationCount, 2);
}

struct RecordCase {
    const char* target;
    int status;
    const char* location;
};

class DirectoryRequests : public testing::TestWithParam<RecordCase> {};

TEST_P(DirectoryRequests, Answer)
{
    auto response = station::RespondToDirectoryRequest(GetParam().target, Stations(), {});
    EXPECT_EQ(response.status, GetParam().status);
    if (GetParam().location) {
        web::StationRecord record = web::ParseStationRecord(response.body);
        EXPECT_EQ(record.location, GetParam().location);
        ASSERT_TRUE(record.address);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DirectoryRequests,
    testing::Values(
        RecordCase{"/cgi-local/kvo_get_station.prl?IPHEX=7F000001.rdl", 200, "127.0.0.1:3456 (this machine)"},
        RecordCase{"/cgi-local/kvo_get_station.prl?IPHEX=7f000001:3457.rdl", 200, "127.0.0.1:3457 (this machine)"},
        RecordCase{"http://127.0.0.1:8642/cgi-local/kvo_get_station.prl?IPHEX=7F000002.4000.rdl", 200,
                   "127.0.0.2:4000 (this machine)"},
        RecordCase{"/cgi-local/kvo_get_station.prl?IPHEX=7F000009.rdl", 404, nullptr},
        RecordCase{"/cgi-local/kvo_get_station.prl", 404, nullptr},
        RecordCase{"/cgi-local/kvo_list_stations.prl?DIR=stations&INFO=0&USERID=x", 200, nullptr},
        RecordCase{"/cgi-local/kvo_list_links.prl?INFO=0", 200, nullptr}, RecordCase{"/etc/passwd", 404, nullptr}));

TEST(DirectoryListing, LinksEndWithTheListEnd)
{
    station::DirectoryExtras extras;
    extras.links = {"http://a.example/", "http://b.example/"};
    EXPECT_EQ(station::LinkListing(extras), "http://a.example/\nhttp://b.example/\nend of list\n");
    EXPECT_TRUE(station::LinkListing({}).starts_with("http://"));
}

} // namespace
