#include "web/directory_reply.h"
#include "web/http_text.h"
#include "web/proxy_password.h"
#include "web/stream_playlist.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using namespace lumetra::web;

namespace {

struct HeaderCase {
    const char* name;
    const char* reply;
    int expected;
    int length;
    const char* lastModified;
};

class HttpHeader : public testing::TestWithParam<HeaderCase> {};

TEST_P(HttpHeader, Classifies)
{
    const auto& c = GetParam();
    int length = -1;
    std::string modified = "stale";
    EXPECT_EQ(ParseHttpHeader(c.reply, length, modified), c.expected);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(modified, c.lastModified);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpHeader,
    testing::Values(
        HeaderCase{"Ok", "HTTP/1.0 200 OK\r\n\r\nbody", 1, 0, ""},
        HeaderCase{"OkHeaders",
                   "HTTP/1.0 200 OK\r\ncontent-length: 1234\r\nLast-Modified: Sat, 01 Jan 2000\r\nServer: x\r\n\r\n", 1,
                   1234, "SAT, 01 JAN 2000"},
        HeaderCase{"HeadersAfterEmptyLineIgnored", "HTTP/1.0 200 OK\r\n\r\nContent-Length: 5\r\n", 1, 0, ""},
        HeaderCase{"Found", "HTTP/1.1 302 Found\r\n\r\n", 0, 0, ""},
        HeaderCase{"Forbidden", "HTTP/1.0 403 Forbidden 200\r\n\r\n", 0, 0, ""},
        HeaderCase{"NotFound", "HTTP/1.0 404 Not Found\r\n\r\n", 0, 0, ""},
        HeaderCase{"NotAcceptable", "HTTP/1.0 406 Not Acceptable\r\n\r\n", 2, 0, ""},
        HeaderCase{"Unauthorized", "HTTP/1.0 401 Unauthorized\r\n\r\n", 10, 0, ""},
        HeaderCase{"ProxyAuth", "http/1.0 407 proxy authentication required\r\n\r\n", 10, 0, ""},
        HeaderCase{"LfOnly", "HTTP/1.0 200 OK\nContent-Length: 7\n\n", 1, 7, ""}, HeaderCase{"Empty", "", 0, 0, ""},
        HeaderCase{"LongLineCut",
                   "HTTP/1.0 200 OK\r\nX: "
                   "012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678"
                   "901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567"
                   "8901234567890123456789012345678901234567890123456789 Content-Length: 99\r\n\r\n",
                   1, 0, ""}),
    [](const auto& info) { return info.param.name; });

TEST(NextLine, LineEndsAndTheUnterminatedLastLine)
{
    std::string buffer = "one\ntwo\nthree";
    std::string line;
    std::vector<std::string> seen;
    size_t offset = 0;
    while ((offset = NextLine(buffer, offset, line)) != 0)
        seen.push_back(line);
    EXPECT_EQ(seen, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(line, "three"); // copied out, but the loop never handles it

    // CR LF anywhere later wins over an earlier LF.
    buffer = "a\nb\r\nc\r\n";
    EXPECT_EQ(NextLine(buffer, 0, line), 5u);
    EXPECT_EQ(line, "a\nb");
    buffer = "x\ry\r";
    EXPECT_EQ(NextLine(buffer, 0, line), 2u);
    EXPECT_EQ(line, "x");
    buffer = "";
    EXPECT_EQ(NextLine(buffer, 0, line), 0u);
    buffer = "abc";
    EXPECT_EQ(NextLine(buffer, 10, line), 0u);
}

struct UrlCase {
    const char* url;
    int ok;
    const char* host;
    int port;
    const char* path;
};

class UrlSplit : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlSplit, Splits)
{
    const auto& c = GetParam();
    std::string host, path;
    uint16_t port = 0;
    ASSERT_EQ(SplitHttpUrl(c.url, host, port, path), c.ok);
    if (!c.ok)
        return;
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(port, c.port);
    EXPECT_EQ(path, c.path);
}

INSTANTIATE_TEST_SUITE_P(Cases, UrlSplit,
                         testing::Values(UrlCase{"http://host:8000/", 1, "host", 8000, "/"},
                                         UrlCase{"HTTP://Host", 1, "Host", 80, "/"},
                                         UrlCase{"http://h/a:b/c?x=1", 1, "h", 80, "/a:b/c?x=1"},
                                         UrlCase{"http://10.0.0.1:8080/s.mp3", 1, "10.0.0.1", 8080, "/s.mp3"},
                                         UrlCase{"ftp://h/", 0, "", 0, ""}, UrlCase{"http:/", 0, "", 0, ""}));

// The encoder agrees with the system's base64 tool on every remainder.
TEST(Base64, AgreesWithCoreutils)
{
    EXPECT_EQ(Base64Encode(""), "");
    for (const char* text : {":", "a", "ab", "abc", "us:pw", "Aladdin:open sesame", "x:\x80\x81\x7f", "\xff\xfe\xfd"}) {
        std::string command = std::string("printf '%s' '") + text + "' | base64 -w0";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
        ASSERT_TRUE(pipe);
        char out[256] = {};
        ASSERT_NE(std::fgets(out, sizeof out, pipe.get()), nullptr);
        EXPECT_EQ(Base64Encode(text), out) << text;
    }
}

TEST(ProxyPassword, ReadsBackAndDependsOnTheUserName)
{
    // Lengths of every remainder modulo 4.
    for (std::string password :
         std::vector<std::string>{"", "p", "secret", "longer password 123!", std::string(127, 'z')}) {
        std::string stored = EncodeProxyPassword(password, "alice");
        EXPECT_EQ(stored.size(), password.size() * 2);
        EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_EQ(DecodeProxyPassword(stored, "alice"), password);
        if (!password.empty()) {
            EXPECT_NE(DecodeProxyPassword(stored, "bob"), password);
        }
    }
    // Names that repeat to the same 64 bytes give the same key; longer names count only 64 bytes.
    EXPECT_EQ(ProxyPasswordKey("ab"), ProxyPasswordKey("abab"));
    EXPECT_EQ(ProxyPasswordKey(std::string(64, 'q') + "x"), ProxyPasswordKey(std::string(64, 'q') + "y"));
    EXPECT_NE(ProxyPasswordKey("alice"), ProxyPasswordKey("bob"));
    EXPECT_EQ(ProxyPasswordKey("") & 0x80000000u, 0u);
    EXPECT_EQ(ProxyPasswordKey("anyone") & 0x80000000u, 0u);
    EXPECT_EQ(ProxyPasswordKey(""), 0u);
}

// ---- directory reply

const char* kDirectory = "+ Rock\n"
                         "++ Classic 0\n"
                         "++* 7F000001 24 24 ?/? Slow Rock\n"
                         "+* 0A000001:8000 36 36 ?/? Fast Rock\n"
                         "+* 0a00000Z 12x 12 ?/? Grey Rock\n"
                         "+ Talk 0\n"
                         "+* C0A80001:9000 800 800 ?/? LAN Talk\n"
                         "end of list\n"
                         "autorefresh: 120\n"
                         "Message:7:abcd:Hello there\n"
                         "Message:8\n"
                         "KVOversion:1.40:http://dl.example/new\n"
                         "end of all\n"
                         "autorefresh: 5\n";

TEST(DirectoryReply, ReadsRowsAndTrailer)
{
    DirectoryReply reply = ParseDirectoryReply(kDirectory, 36);
    std::vector<std::string> texts;
    for (const auto& node : reply.nodes)
        texts.push_back(node.text);
    // The LAN station is too fast for 36; a bad address is greyed.
    EXPECT_EQ(texts, (std::vector<std::string>{"+ Rock", "++ Classic", "++* 127.0.0.1:3456 24 ?/? Slow Rock",
                                               "+* 10.0.0.1:8000 36 ?/? Fast Rock", "+* 10.0.0.0:3456 12 ?/? Grey Rock",
                                               "+ Talk"}));
    ASSERT_EQ(reply.nodes.size(), 6u);
    EXPECT_TRUE(reply.nodes[0].isCategory);
    EXPECT_EQ(reply.nodes[1].level, 2);
    EXPECT_EQ(reply.nodes[2].addressHex, "7F000001");
    EXPECT_EQ(reply.nodes[2].level, 3);
    EXPECT_EQ(reply.nodes[2].stationIndex, 0);
    EXPECT_EQ(reply.nodes[3].addressHex, "0A000001:8000");
    EXPECT_TRUE(reply.nodes[4].greyed);
    EXPECT_EQ(reply.stationCount, 3);
    EXPECT_EQ(reply.autoRefreshSeconds, 120);
    ASSERT_EQ(reply.messages.size(), 1u);
    EXPECT_EQ(reply.messages[0].id, 7);
    EXPECT_EQ(reply.messages[0].text, "Hello there");
    ASSERT_EQ(reply.versions.size(), 1u);
    EXPECT_EQ(reply.versions[0].version, "1.40");
    EXPECT_EQ(reply.versions[0].downloadUrl, "http://dl.example/new");
    // The speed filter renumbers stations; without "end of list" there is no trailer.
    reply = ParseDirectoryReply("* 01020304 24 a\n* 01020305 12 b\n* 01020306 800 c\n", 12);
    ASSERT_EQ(reply.nodes.size(), 1u);
    EXPECT_EQ(reply.nodes[0].text, "* 1.2.3.5:3456 b");
    EXPECT_EQ(reply.nodes[0].stationIndex, 0);
    EXPECT_FALSE(reply.autoRefreshSeconds);
}

TEST(DirectoryReply, VersionComparisonSkipsTheLastCharacter)
{
    for (auto [version, differs] : {std::pair{"1.31", false}, {"1.32", false}, {"1.40", true}, {"2.0", true}})
        EXPECT_EQ(VersionDiffers(version, "1.31"), differs) << version;
}

TEST(StationRecord, FieldsAndAddress)
{
    StationRecord r = ParseStationRecord(
        "Name:ignored\nEMAIL:dj@example\nWWWURL:http://example/\nWWWDESC:Music all day\nCategory:Rock\n"
        "LOCATION:Here\nStation:10.0.0.1:8000\nend of station\nEMAIL:late@example\n");
    EXPECT_EQ(r.email, "dj@example");
    EXPECT_EQ(r.webUrl, "http://example/");
    EXPECT_EQ(r.description, "Music all day");
    EXPECT_EQ(r.category, "Rock");
    EXPECT_EQ(r.location, "Here");
    ASSERT_TRUE(r.address);
    EXPECT_EQ(FormatDottedAddress(*r.address), "10.0.0.1:8000");
    EXPECT_EQ(ReplaceNodeAddress("** 127.0.0.1:3456 24 ?/? Name", *r.address), "** 10.0.0.1:8000 24 ?/? Name");
    StationAddressBytes noPort{{1, 2, 3, 4}, std::nullopt};
    EXPECT_EQ(ReplaceNodeAddress("* 9.9.9.9:1 24 ?/? N", noPort), "* 1.2.3.4 24 ?/? N");
    EXPECT_EQ(StationNameOf("* 10.0.0.1:3456 24 ?/? My Station"), "My Station");
    EXPECT_EQ(StationNameOf("* short"), "");
    EXPECT_FALSE(ParseDottedAddress("1.2.3"));
    EXPECT_FALSE(ParseDottedAddress("name.example"));
}

// ---- stream playlists

struct PlaylistCase {
    const char* name;
    const char* text;
    const char* address; // nullptr: none
};

class StreamPlaylist : public testing::TestWithParam<PlaylistCase> {};

TEST_P(StreamPlaylist, FindsTheAddress)
{
    auto address = FindStreamAddress(GetParam().text);
    if (!GetParam().address)
        EXPECT_FALSE(address);
    else
        EXPECT_EQ(address.value_or("<none>"), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StreamPlaylist,
    testing::Values(PlaylistCase{"Pls", "[playlist]\nNumberOfEntries=1\nFile1=http://host:8000/\n",
                                 "http://host:8000/"},
                    PlaylistCase{"PlsCapitals", "[playlist]\r\nFILE1=HTTP://HOST/X\r\n", "HTTP://HOST/X"},
                    PlaylistCase{"M3uWithLineEnd", "http://h/s.mp3\n", "http://h/s.mp3"},
                    PlaylistCase{"M3uWithoutLineEnd", "http://h/s.mp3", nullptr},
                    PlaylistCase{"BareCapitals", "HTTP://H/S.MP3\n", nullptr},
                    PlaylistCase{"Comments", "#EXTM3U\n#EXTINF:-1,x\nhttp://h/a\nhttp://h/b\n", "http://h/a"}),
    [](const auto& info) { return info.param.name; });

TEST(StreamPlaylist, Names)
{
    for (const char* name : {"a.m3u", "B.PLS", "x.plr", "y.cgi", "z.Pl"})
        EXPECT_TRUE(IsStreamPlaylistName(name)) << name;
    for (const char* name : {"a.mp3", "pl", "a.lst", "a.m3u8"})
        EXPECT_FALSE(IsStreamPlaylistName(name)) << name;
}

} // namespace
