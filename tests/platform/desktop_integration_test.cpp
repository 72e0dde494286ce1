// The desktop entry's Exec quoting, its icons, the copy on the desktop, and the MIME
// defaults merged into an existing mimeapps.list. (desktop-file-validate checks the
// entry in the player's start-up run.)

#include "platform/desktop/desktop_icon_sizes.h"
#include "platform/desktop/desktop_integration.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace lumetra::platform {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class DesktopIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("lumetra-desktop-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "config");
        setenv("HOME", (m_dir / "home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

TEST_F(DesktopIntegrationTest, InstalledEntryValidatesAndIsCopiedToTheDesktop)
{
    std::ofstream(m_dir / "config" / "user-dirs.dirs") << "# written by xdg-user-dirs-update\n"
                                                       << "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    DesktopFolders folders = CurrentDesktopFolders();
    EXPECT_EQ(folders.desktop, (m_dir / "home" / "Schreibtisch").string());

    // Nowhere to copy to yet: nothing is made.
    ASSERT_TRUE(InstallDesktopEntry(folders, "/opt/Lu metra/lu%metra").Ok());
    EXPECT_TRUE(CopyEntryToDesktop(folders).Ok());
    EXPECT_FALSE(fs::exists(folders.desktop));

    fs::path entry = m_dir / "data" / "applications" / "lumetra.desktop";
    std::string text = Slurp(entry);
    EXPECT_NE(text.find("\nExec=\"/opt/Lu metra/lu%%metra\" %f\n"), std::string::npos) << text;

    for (int size : kDesktopIconSizes) {
        std::string png = Slurp(m_dir / "data" / "icons" / "hicolor" /
                                (std::to_string(size) + "x" + std::to_string(size)) / "apps" / "lumetra.png");
        ASSERT_GT(png.size(), 24u) << size;
        // The width in the PNG header, big-endian at byte 16.
        EXPECT_EQ(static_cast<unsigned char>(png[18]) * 256 + static_cast<unsigned char>(png[19]), size);
    }
    EXPECT_NE(Slurp(m_dir / "data/icons/hicolor/scalable/apps/lumetra.svg").find("<svg"), std::string::npos);

    fs::create_directories(folders.desktop);
    ASSERT_TRUE(CopyEntryToDesktop(folders).Ok());
    fs::path copy = fs::path(folders.desktop) / "lumetra.desktop";
    EXPECT_EQ(Slurp(copy), text);
    struct stat info {};
    ASSERT_EQ(::stat(copy.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);
}

TEST(MimeAppsTest, DefaultsReplaceEarlierChoicesAndKeepEverythingElse)
{
    const std::vector<std::string> types = {"audio/mpeg", "audio/midi"};
    struct Case {
        const char* before;
        const char* after;
    };
    for (const Case& c : {
             Case{"", "[Default Applications]\naudio/mpeg=lumetra.desktop;\naudio/midi=lumetra.desktop;\n\n"
                      "[Added Associations]\naudio/mpeg=lumetra.desktop;\naudio/midi=lumetra.desktop;\n"},
             Case{"# mine\n[Added Associations]\naudio/mpeg=vlc.desktop;lumetra.desktop;\n\n"
                  "[Default Applications]\naudio/mpeg=vlc.desktop;\ntext/plain=gedit.desktop;\n",
                  "# mine\n[Added Associations]\naudio/mpeg=lumetra.desktop;vlc.desktop;\n"
                  "audio/midi=lumetra.desktop;\n\n[Default Applications]\ntext/plain=gedit.desktop;\n"
                  "audio/mpeg=lumetra.desktop;\naudio/midi=lumetra.desktop;\n"},
         }) {
        std::string once = MimeAppsWithDefaults(c.before, "lumetra.desktop", types);
        EXPECT_EQ(once, c.after);
        EXPECT_EQ(MimeAppsWithDefaults(once, "lumetra.desktop", types), once) << "a second start changes nothing";
    }
}

} // namespace
} // namespace lumetra::platform
