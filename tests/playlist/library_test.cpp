#include "playlist/library.h"
#include "playlist_fixture.h"

#include <sys/stat.h>

namespace lumetra::playlist {
namespace {

using Texts = std::vector<std::string>;

class LibraryTest : public testing::ScratchTest {
protected:
    std::unique_ptr<Library> MakeLibrary()
    {
        return std::make_unique<Library>(testing::FakeReader, Path("data/library.lst"), [this] {
            ++m_scans;
            return std::vector<std::string>{Path("drive") + "/", Path("missing") + "/"};
        });
    }
    static Texts RowTexts(const Library& library)
    {
        Texts texts;
        for (const LibraryRow& row : library.Rows())
            texts.push_back(std::to_string(row.level) + " " + row.text);
        return texts;
    }
    void MakeTree()
    {
        Write("drive/Song.MP3", "title:zeta");
        Write("drive/a.mp3", "");
        Write("drive/a.mp", "");
        Write("drive/bad.mp3", "bad");
        Write("drive/sub/B.mp3", "title:Alpha");
        Write("drive/sub/deep/x.mid", "");
        Write("drive/sub/deep/notes.txt", "");
        for (auto [name, size] : {std::pair{"big.wav", 1000001}, {"small.wav", 900000}}) {
            Write(std::string("drive/") + name, "");
            std::filesystem::resize_file(Path(std::string("drive/") + name), size);
        }
        std::filesystem::create_directory_symlink(Path("drive"), Path("drive/sub/loop"));
        std::filesystem::create_symlink(Path("drive/nowhere"), Path("drive/broken.mp3"));
        ::mkfifo(Path("drive/fifo.mp3").c_str(), 0600);
        std::filesystem::create_directories(Path("drive/closed"));
        Write("drive/closed/hidden.mp3", "");
        ::chmod(Path("drive/closed").c_str(), 0);
    }
    void TearDown() override
    {
        ::chmod(Path("drive/closed").c_str(), 0700);
        ScratchTest::TearDown();
    }

    int m_scans = 0;
};

// (A second start loading the file instead of scanning: the headless player's run.)
TEST_F(LibraryTest, BuildWritesTheTakenFilesSortedAndListsCategories)
{
    MakeTree();
    bool closedReadable = ::access(Path("drive/closed").c_str(), R_OK) == 0; // root reads anything
    auto library = MakeLibrary();
    EXPECT_FALSE(library->StartLibraryLoad()) << "no library file yet";
    library->StartLibraryBuild();
    library->Wait();
    EXPECT_EQ(m_scans, 1);
    Texts expected = {"a.mp3", "sub/B.mp3", "big.wav"}; // a.mp3 < Alpha < big.wav < closed/hidden.mp3 < x.mid < zeta
    if (closedReadable)
        expected.push_back("closed/hidden.mp3");
    expected.push_back("sub/deep/x.mid");
    expected.push_back("Song.MP3");
    std::string file = "LumetraPlayList 00000000\r\n";
    for (const std::string& name : expected)
        file += Path("drive/" + name) + "\r\n";
    EXPECT_EQ(Read("data/library.lst"), file);

    // Empty categories (Audio CD, CDROM) are not shown; collapsed ones show their header.
    EXPECT_EQ(RowTexts(*library), (Texts{"0 MP3", "0 MIDI", "0 WAV"}));
    EXPECT_FALSE(library->ToggleCategory(5));
    EXPECT_TRUE(library->ToggleCategory(0));
    Texts open = RowTexts(*library);
    ASSERT_EQ(open.size(), closedReadable ? 7u : 6u);
    EXPECT_EQ(open[1], "1 " + Path("drive/a.mp3"));
    EXPECT_EQ(open[2], "1 " + Path("drive/sub/B.mp3"));
    auto entry = library->EntryOfRow(2);
    ASSERT_TRUE(entry);
    EXPECT_STREQ(library->ItemOf(*entry)->title, "Alpha");
    EXPECT_FALSE(library->EntryOfRow(0)) << "a header plays nothing";
}

TEST_F(LibraryTest, ANewBuildReplacesTheFileAndForgetsOldEntries)
{
    Write("drive/one.mp3", "");
    auto library = MakeLibrary();
    library->StartLibraryBuild();
    library->Wait();
    library->ToggleCategory(0);
    auto entry = library->EntryOfRow(1);
    ASSERT_TRUE(entry && library->ItemOf(*entry));
    std::filesystem::remove(Path("drive/one.mp3"));
    Write("drive/two.mid", "");
    library->StartLibraryBuild();
    library->Wait();
    EXPECT_FALSE(library->ItemOf(*entry)) << "an entry of the old categories is gone";
    EXPECT_EQ(RowTexts(*library), (Texts{"0 MIDI"}));
}

} // namespace
} // namespace lumetra::playlist
