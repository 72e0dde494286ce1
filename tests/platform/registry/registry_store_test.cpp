#include "platform/registry/registry_file.h"
#include "platform/registry/registry_store.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumetra::platform;

namespace {

class RegistryStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/lumetra-registry-XXXXXX";
        m_dir = mkdtemp(templ);
        m_path = m_dir + "/sub/registry.reg";
    }
    void TearDown() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

    std::string ReadFile() const
    {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string m_dir;
    std::string m_path;
};

RegistryValue Sz(const std::string& text)
{
    RegistryValue v{kRegSz, {text.begin(), text.end()}};
    v.bytes.push_back(0);
    return v;
}

TEST_F(RegistryStoreTest, ValuesPersistAndAreSeenByAnotherInstance)
{
    RegistryStore a(m_path);
    EXPECT_FALSE(a.KeyExists(RegistryRoot::CurrentUser, "Software\\X"));
    ASSERT_TRUE(a.SetValue(RegistryRoot::CurrentUser, "Software\\X", "V", Sz("1")));
    RegistryStore b(m_path);
    EXPECT_EQ(b.QueryValue(RegistryRoot::CurrentUser, "software\\x\\", "v"), Sz("1"));
    // A change by one instance is seen by the other, which already had the file loaded.
    ASSERT_TRUE(b.SetValue(RegistryRoot::CurrentUser, "Software\\X", "V", Sz("2")));
    EXPECT_EQ(a.QueryValue(RegistryRoot::CurrentUser, "Software\\X", "V"), Sz("2"));
    EXPECT_FALSE(a.SetValue(RegistryRoot::CurrentUser, "", "V", Sz("3")));
    EXPECT_FALSE(a.SetValue(RegistryRoot::CurrentUser, "K", "bad\nname", Sz("3")));
}

TEST_F(RegistryStoreTest, GarbageFileReadsAsEmptyAndIsReplacedCleanly)
{
    RegistryStore(m_path).CreateKey(RegistryRoot::CurrentUser, "K");
    {
        std::ofstream out(m_path, std::ios::binary);
        out << std::string("\x7f" "ELF\0\0\xff[[[\n\"a\"=", 14);
    }
    RegistryStore store(m_path);
    EXPECT_FALSE(store.KeyExists(RegistryRoot::CurrentUser, "K"));
    ASSERT_TRUE(store.SetValue(RegistryRoot::CurrentUser, "K", "V", Sz("x")));
    EXPECT_TRUE(ReadFile().starts_with("REGEDIT4\n"));
}

// A writer killed at any moment leaves the last complete content: every save
// writes the same counter into two values, so a torn file would show them differ.
TEST_F(RegistryStoreTest, KillDuringSavesNeverLeavesABrokenFile)
{
    for (int round = 0; round < 6; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RegistryStore store(m_path);
            std::string padding(20000, 'p');
            for (int i = 0;; ++i) {
                store.SetValue(RegistryRoot::CurrentUser, "K", "A", Sz(std::to_string(i) + padding));
                store.SetValue(RegistryRoot::CurrentUser, "K", "B", Sz(std::to_string(i) + padding));
                if (i == 0)
                    store.SetValue(RegistryRoot::CurrentUser, "K", "Started", Sz("1"));
            }
        }
        usleep(20000 + round * 7000);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        std::string text = ReadFile();
        if (text.empty())
            continue;  // killed before the first save finished
        RegistryData data = ParseRegistryText(text);
        EXPECT_EQ(FormatRegistryText(data), text) << "round " << round;
        RegistryStore reader(m_path);
        auto a = reader.QueryValue(RegistryRoot::CurrentUser, "K", "A");
        ASSERT_TRUE(a.has_value());
        auto b = reader.QueryValue(RegistryRoot::CurrentUser, "K", "B");
        if (b) {
            // B is written after A: equal, or A one ahead.
            int na = std::atoi(reinterpret_cast<const char*>(a->bytes.data()));
            int nb = std::atoi(reinterpret_cast<const char*>(b->bytes.data()));
            EXPECT_TRUE(na == nb || na == nb + 1) << na << " " << nb;
        }
    }
}

// A full disk (here: a file size limit) fails the write and keeps the old file.
TEST_F(RegistryStoreTest, FailedWriteKeepsOldContent)
{
    RegistryStore store(m_path);
    ASSERT_TRUE(store.SetValue(RegistryRoot::CurrentUser, "K", "V", Sz("old")));
    std::string before = ReadFile();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{200, 200};
        setrlimit(RLIMIT_FSIZE, &limit);
        RegistryStore inChild(m_path);
        bool stored = inChild.SetValue(RegistryRoot::CurrentUser, "K", "V", Sz(std::string(5000, 'n')));
        bool kept = inChild.QueryValue(RegistryRoot::CurrentUser, "K", "V") == Sz("old");
        _exit(!stored && kept ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFile(), before);
}

} // namespace
