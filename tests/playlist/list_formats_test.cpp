#include "platform/drives/fixed_drives.h"
#include "playlist/foreign_lists.h"
#include "playlist/library_rules.h"
#include "playlist/list_file.h"
#include "playlist/playlist_files.h"

#include <gtest/gtest.h>

namespace lumetra::playlist {
namespace {

using Entries = std::vector<std::string>;
using namespace std::string_literals;

TEST(ListFile, RoundTripKeepsFilesAndDropsWhatCannotBeReadBack)
{
    Entries rows = {"/music/a b.mp3", "/m\xc3\xbcsic/\xe9t\xe9.mp3", "http://radio/stream", "/x\ry.mp3", "/bad\xff.mp3",
                    "/music/c.mid"};
    std::string text = FormatListFile(0xBEEF, rows);
    EXPECT_EQ(text, "LumetraPlayList 0000BEEF\r\n/music/a b.mp3\r\n/m\xc3\xbcsic/\xe9t\xe9.mp3\r\n/music/c.mid\r\n");
    ListFile back = ParseListFile(text);
    EXPECT_TRUE(back.isPlaylist);
    EXPECT_EQ(back.serial, 0xBEEFu);
    EXPECT_EQ(back.entries, (Entries{rows[0], rows[1], rows[5]}));
}

struct ReadCase {
    const char* name;
    std::string bytes;
    bool isPlaylist;
    uint32_t serial;
    Entries entries;
};

TEST(ListFile, ReadingRules)
{
    std::string longLine(100000, 'a');
    const ReadCase cases[] = {
        {"windows",
         "LumetraPlayList 00000000\r\nC:\\music\\a.mp3\r\nmusic\\b.mp3\r\n\r\n",
         true,
         0,
         {"C:\\music\\a.mp3", "music\\b.mp3"}},
        {"bare line feeds", "LumetraPlayList 00000000\n/a.mp3\n/b.mp3\n", true, 0, {}},
        {"bare header", "LumetraPlayList", true, 0, {}},
        {"lower-case and odd digits", "LumetraPlayList 00c0ffzz\r\n", true, 0x00C0FF00, {}},
        {"short header", "LumetraPlayList 1234\r\n/a\r\n", true, 0, {"/a"}},
        {"0xFF ends the file", std::string("LumetraPlayList 00000000\r\n/a\xff/b\r\n/c\r\n"), true, 0, {"/a"}},
        {"byte after CR is consumed", "LumetraPlayList 00000000\r/a\rX/b\r\n", true, 0, {"a", "/b"}},
        {"NUL ends an entry", "LumetraPlayList 00000000\r\n/a\0junk\r\n"s, true, 0, {"/a"}},
        {"overlong line skipped", "LumetraPlayList 00000000\r\n" + longLine + "\r\n/b\r\n", true, 0, {"/b"}},
        {"wrong case", "lumetraplaylist 00000000\r\n/a\r\n", false, 0, {}},
        {"binary", "\x00\x01\x02\xfe\xff"s, false, 0, {}},
        {"empty", "", false, 0, {}},
    };
    for (const ReadCase& c : cases) {
        ListFile list = ParseListFile(c.bytes);
        EXPECT_EQ(list.isPlaylist, c.isPlaylist) << c.name;
        EXPECT_EQ(list.serial, c.serial) << c.name;
        EXPECT_EQ(list.entries, c.entries) << c.name;
    }
}

TEST(ListFile, RelativeLinesTakeTheListsFolder)
{
    EXPECT_EQ(ListFolder("D:\\lists\\x.lst"), "D:\\lists\\");
    EXPECT_EQ(ListFolder("/home/u/lists/x.lst"), "/home/u/lists/");
    const std::pair<const char*, const char*> cases[] = {
        {"music\\a.mp3", "D:\\lists\\music\\a.mp3"},
        {"\\\\server\\share\\a.mp3", "D:\\lists\\\\\\server\\share\\a.mp3"},
        {"C:\\a.mp3", "C:\\a.mp3"},
        {"/srv/a.mp3", "/srv/a.mp3"},
    };
    for (auto [line, path] : cases)
        EXPECT_EQ(ResolveEntry("D:\\lists\\", line), path) << line;
    EXPECT_EQ(CompleteListExtension("mylist"), "mylist.lst");
    EXPECT_EQ(CompleteListExtension("/the.songs/mylist"), "/the.songs/mylist");
}

TEST(ForeignLists, M3uAndPlsEntriesInOrder)
{
    EXPECT_EQ(
        ParseM3u("\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:3,T\r\na.mp3\r\n\r\n  /b c.mp3 \nfile:///x/d%20e.mp3\rhttp://h/s"),
        (Entries{"a.mp3", "/b c.mp3", "/x/d e.mp3", "http://h/s"}));
    EXPECT_EQ(ParsePls("[playlist]\nFile2=/b.mp3\nTitle1=x\nfile1=/a.mp3\nFileX=/c\nNumberOfEntries=2\n"),
              (Entries{"/a.mp3", "/b.mp3"}));
    std::string written = FormatM3u8({{"/a.mp3", 5, "A"}, {"/b\n.mp3", 1, "B"}});
    EXPECT_EQ(written, "#EXTM3U\n#EXTINF:5,A\n/a.mp3\n");
    EXPECT_EQ(ParseM3u(written), (Entries{"/a.mp3"}));
    std::string many;
    for (std::size_t i = 0; i <= kMaxForeignEntries; ++i)
        many += "a\n";
    EXPECT_EQ(ParseM3u(many).size(), kMaxForeignEntries);
    EXPECT_EQ(ForeignListKindOf("/x/L.M3U8"), ForeignListKind::M3u);
    EXPECT_EQ(ForeignListKindOf("/x/l.pls"), ForeignListKind::Pls);
    EXPECT_EQ(ForeignListKindOf("/x/l.lst"), ForeignListKind::None);
}

TEST(ScanRules, ExtensionsSizesAndShortNames)
{
    struct Case {
        const char* name;
        uint64_t size;
        int32_t minWavSize;
        bool taken;
    };
    const Case cases[] = {
        {"a.mp3", 10, 1000, true},
        {"a.mp", 10, 1000, false},
        {".mp3", 10, 1000, false},
        {"SONG.Mp3", 10, 1000, true},
        {"x.MID", 10, 1000, true},
        {"x.rmi", 10, 1000, true},
        {"x.wav", 900000, 1000, false},
        {"x.wav", 1000000, 1000, false},
        {"x.WAV", 1000001, 1000, true},
        {"x.wav", 250001, 250, true},
        {"x.wav", 1ull << 33, 1000000000, true},
        {"x.ogg", 10, 1000, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TakenByScan(c.name, c.size, c.minWavSize), c.taken) << c.name << " " << c.size;
}

TEST(ScanRules, SortKeysFallBackToTheFileNameAndIgnoreCase)
{
    EXPECT_EQ(SortKey("", "/m/Zed.mp3"), "Zed.mp3");
    EXPECT_EQ(SortKey("", "C:\\m\\b.mp3"), "b.mp3");
    EXPECT_EQ(SortKey("Title", "/m/a.mp3"), "Title");
    EXPECT_EQ(CompareNoCase("abc", "ABC"), 0);
    EXPECT_LT(CompareNoCase("abc", "ABD"), 0);
    EXPECT_LT(CompareNoCase("ab", "ABC"), 0);
    EXPECT_GT(CompareNoCase("b", "A"), 0);
}

TEST(FixedDrives, LocalDiskMountsOnlyEachOnce)
{
    const char* info = "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                       "23 22 0:5 / /proc rw - proc proc rw\n"
                       "24 22 0:20 / /tmp rw - tmpfs tmpfs rw\n"
                       "25 22 8:2 / /home/my\\040disk rw - xfs /dev/sda2 rw\n"
                       "26 22 8:2 / /mnt/bind rw - xfs /dev/sda2 rw\n"
                       "27 22 0:40 / /net rw - nfs srv:/x rw\n"
                       "28 22 0:30 / / rw - overlay overlay rw\n"
                       "29 22 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n";
    EXPECT_EQ(platform::DiskMountPoints(info), (Entries{"/", "/home/my disk/"}));
    EXPECT_EQ(platform::MountPointOfDevice(info, "/dev/sr0"), "/media/cd/");
}

} // namespace
} // namespace lumetra::playlist
