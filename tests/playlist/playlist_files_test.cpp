#include "platform/dialogs/message_box.h"
#include "playlist/cd_disc.h"
#include "playlist/playlist_files.h"
#include "playlist_fixture.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace lumetra::playlist {
namespace {

class PlaylistFilesTest : public testing::ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        platform::SetMessageBoxPresenter([this](const platform::MessageBoxRequest& request) {
            m_messages.push_back(request.text);
            return platform::kAnswerNo;
        });
        m_list = std::make_unique<PlaylistFiles>(m_playlist, m_dir.string() + "/");
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
            m_files.push_back(Write(name, "title:x"));
    }
    void TearDown() override
    {
        platform::SetMessageBoxPresenter(nullptr);
        ScratchTest::TearDown();
    }
    std::vector<std::string> Rows() const
    {
        std::vector<std::string> rows;
        for (int i = 0; i < m_playlist.RowCount(); ++i)
            rows.push_back(m_playlist.RowText(i));
        return rows;
    }

    Playlist m_playlist{testing::FakeReader};
    std::unique_ptr<PlaylistFiles> m_list;
    PlaylistFiles& Files() { return *m_list; }
    std::vector<std::string> m_files;
    std::vector<std::string> m_messages;
};

// (The .lst round trip goes through the headless player's save and load.)
TEST_F(PlaylistFilesTest, SavedAsM3u8LoadsBackAndIsNotOfferedForSaving)
{
    for (const std::string& f : m_files)
        m_playlist.AddEntry(f);
    ASSERT_TRUE(Files().WritePlaylist(Path("saved.m3u8")));
    EXPECT_TRUE(Files().ConfirmSaveAndClear());
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(Files().LoadForeignList(Path("saved.m3u8")));
    EXPECT_EQ(Rows(), m_files);
}

TEST_F(PlaylistFilesTest, WindowsListWithRelativeLinesAndHostileEntries)
{
    Write("lists/music/b.mp3", "");
    Write("lists/c.mp3", "");
    ASSERT_EQ(::mkfifo(Path("lists/fifo.mp3").c_str(), 0600), 0);
    std::string list = "LumetraPlayList 00000000\r\nC:\\music\\a.mp3\r\nmusic\\b.mp3\r\nc.mp3\r\n" + m_files[0] +
                       "\r\nx.lst\r\nmusic\r\nfifo.mp3\r\n" + std::string(100000, 'z') + "\r\n";
    Write("lists/x.lst", list);
    EXPECT_TRUE(Files().LoadPlaylist(Path("lists/x.lst")));
    EXPECT_EQ(Rows(), (std::vector<std::string>{Path("lists/music/b.mp3"), Path("lists/c.mp3"), m_files[0]}));
    EXPECT_FALSE(m_playlist.State().modified);

    EXPECT_FALSE(Files().OpenPlaylist(Path("lists")));
    EXPECT_EQ(m_messages, std::vector<std::string>{"Invalid Playlist file."});
}

TEST_F(PlaylistFilesTest, PromptsFollowModifiedAndTheEntryCount)
{
    m_playlist.AddEntry(m_files[0]);
    EXPECT_TRUE(Files().ConfirmSaveAndClear());
    EXPECT_TRUE(m_messages.empty()) << "one entry is never offered for saving";

    for (const std::string& f : m_files)
        m_playlist.AddEntry(f);
    Files().WritePlaylist(Path("three.lst"));
    m_playlist.ClearPlaylist();
    Files().LoadPlaylist(Path("three.lst"));
    m_playlist.Select(0);
    m_playlist.MoveEntryDown();
    EXPECT_TRUE(Files().ConfirmSaveAndClear());
    EXPECT_TRUE(m_messages.empty()) << "moving rows does not modify";

    Files().LoadPlaylist(Path("three.lst"));
    m_playlist.DeleteEntry();
    EXPECT_TRUE(Files().ConfirmSaveAndClear());
    EXPECT_EQ(m_messages, std::vector<std::string>{"Do you want to save the current PlayList?"});
}

TEST_F(PlaylistFilesTest, DeleteAndMoveFollowTheIndexRules)
{
    for (const std::string& f : m_files)
        m_playlist.AddEntry(f);
    m_playlist.SetPlayIndex(1);
    m_playlist.Select(0);
    m_playlist.MoveEntryDown(); // the row above the playing one moves below it
    EXPECT_EQ(m_playlist.PlayIndex(), 0);
    EXPECT_EQ(m_playlist.RowText(0), m_files[1]);
    m_playlist.MoveEntryUp();
    EXPECT_EQ(m_playlist.PlayIndex(), 1);
    m_playlist.Select(2);
    m_playlist.DeleteEntry();
    EXPECT_EQ(m_playlist.Selected(), 1);
    EXPECT_EQ(m_playlist.PlayIndex(), 1) << "deleting leaves the current row alone";
    m_playlist.DeleteEntry();
    m_playlist.DeleteEntry();
    EXPECT_EQ(m_playlist.Selected(), -1);
    EXPECT_EQ(m_playlist.State().entryCount, 0);
}

TEST_F(PlaylistFilesTest, FailedSaveKeepsTheOldFile)
{
    for (const std::string& f : m_files)
        m_playlist.AddEntry(f);
    Write("keep.lst", "old contents");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 40;
    ::setrlimit(RLIMIT_FSIZE, &small);
    bool written = Files().WritePlaylist(Path("keep.lst"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(written);
    EXPECT_EQ(Read("keep.lst"), "old contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir), {}), 4) << "no temporary file is left";
}

TEST_F(PlaylistFilesTest, CdSerialInHeaderAndCondition)
{
    ::setenv("LUMETRA_CDROM", "/images/disc.cue", 1);
    SetDiscSerialReader([](const std::string& drive) { return drive == "/images/disc.cue" ? 0xC0FFEEu : 0u; });
    m_playlist.AddEntry(m_files[0]);
    Files().WritePlaylist(Path("hd.lst"));
    m_playlist.AddEntry("/images/disc.cue/Track01.cda");
    Files().WritePlaylist(Path("cd.lst"));
    EXPECT_EQ(Read("hd.lst").substr(0, 26), "LumetraPlayList 00000000\r\n");
    EXPECT_EQ(Read("cd.lst").substr(0, 26), "LumetraPlayList 00C0FFEE\r\n");
    m_playlist.ClearPlaylist();
    EXPECT_TRUE(Files().LoadPlaylist(Path("cd.lst")));
    EXPECT_EQ(m_playlist.RowCount(), 2);
    SetDiscSerialReader([](const std::string&) { return 0x1234u; });
    m_playlist.ClearPlaylist();
    EXPECT_FALSE(Files().LoadPlaylist(Path("cd.lst")));
    EXPECT_EQ(m_playlist.RowCount(), 0);
    EXPECT_FALSE(Files().OpenPlaylist(Path("cd.lst"))); // the user answers No to "Try again?"
    SetDiscSerialReader(nullptr);
    ::unsetenv("LUMETRA_CDROM");
}

} // namespace
} // namespace lumetra::playlist
