#include "platform/registry/registry_file.h"
#include "platform/registry/registry_store.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumetra::platform;
using namespace std::string_literals;

namespace {

RegistryValue Sz(std::string_view text)
{
    RegistryValue v{kRegSz, {text.begin(), text.end()}};
    v.bytes.push_back(0);
    return v;
}

const RegistryValue* Find(const RegistryData& data, RegistryRoot root, std::string_view key, std::string_view name)
{
    const RegistryKey* k = data.FindKey(root, key);
    if (!k)
        return nullptr;
    auto it = k->values.find(RegistryData::Lower(name));
    return it == k->values.end() ? nullptr : &it->second.second;
}

TEST(RegistryFile, EveryKindOfValueSurvivesWritingAndReading)
{
    RegistryData data;
    data.SetValue(RegistryRoot::CurrentUser, "Software\\A b\\C", "Plain", Sz("hello world"));
    data.SetValue(RegistryRoot::CurrentUser, "Software\\A b\\C", "Quoted", Sz("say \"hi\" C:\\dir\\"));
    data.SetValue(RegistryRoot::CurrentUser, "Software\\A b\\C", "Lines", Sz("http://a\nhttp://b\n\xe9"));
    data.SetValue(RegistryRoot::CurrentUser, "Software\\A b\\C", "", Sz("default"));
    data.SetValue(RegistryRoot::ClassesRoot, "LumetraMP3", "Editflags", RegistryValue{kRegBinary, {0, 0, 0, 0}});
    data.SetValue(RegistryRoot::LocalMachine, "X", "N", RegistryValue{kRegDword, {0x78, 0x56, 0x34, 0x12}});
    data.SetValue(RegistryRoot::LocalMachine, "X", "Short", RegistryValue{kRegDword, {1, 2}});
    data.SetValue(RegistryRoot::LocalMachine, "X", "NoNul", RegistryValue{kRegSz, {'a', 'b'}});
    data.SetValue(RegistryRoot::LocalMachine, "X", "Empty", RegistryValue{kRegBinary, {}});
    std::string text = FormatRegistryText(data);
    EXPECT_TRUE(text.starts_with("REGEDIT4\n"));
    EXPECT_NE(text.find("\"N\"=dword:12345678"), std::string::npos);
    EXPECT_NE(text.find("\"Editflags\"=hex:00,00,00,00"), std::string::npos);
    EXPECT_NE(text.find("\"Quoted\"=\"say \\\"hi\\\" C:\\\\dir\\\\\""), std::string::npos);
    RegistryData back = ParseRegistryText(text);
    EXPECT_TRUE(back == data) << text;
    EXPECT_EQ(FormatRegistryText(back), text);
}

TEST(RegistryFile, KeysAndNamesIgnoreCaseAndContinuedHexIsJoined)
{
    RegistryData data = ParseRegistryText("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Foo]\n\"Bar\"=\"1\"\n"
                                          "\"Long\"=hex:01,02,\\\n  03\n");
    ASSERT_NE(Find(data, RegistryRoot::CurrentUser, "software\\FOO", "bAR"), nullptr);
    EXPECT_EQ(Find(data, RegistryRoot::ClassesRoot, "Software\\Foo", "Bar"), nullptr);
    EXPECT_NE(data.FindKey(RegistryRoot::CurrentUser, "Software"), nullptr);
    const RegistryValue* v = Find(data, RegistryRoot::CurrentUser, "Software\\Foo", "Long");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->bytes, (std::vector<uint8_t>{1, 2, 3}));
}

struct DamagedCase {
    const char* name;
    std::string text;
    bool keeps; // whether "Good"="yes" under [HKCU\K] is still read
};

class RegistryFileDamaged : public testing::TestWithParam<DamagedCase> {};

TEST_P(RegistryFileDamaged, ReadsWhatIsIntact)
{
    RegistryData data = ParseRegistryText(GetParam().text);
    const RegistryValue* good = Find(data, RegistryRoot::CurrentUser, "K", "Good");
    if (GetParam().keeps) {
        ASSERT_NE(good, nullptr);
        EXPECT_EQ(*good, Sz("yes"));
    } else {
        EXPECT_EQ(good, nullptr);
    }
    // Whatever was read writes and reads back the same.
    EXPECT_TRUE(ParseRegistryText(FormatRegistryText(data)) == data);
}

const std::string kGood = "[HKEY_CURRENT_USER\\K]\n\"Good\"=\"yes\"\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryFileDamaged,
    testing::Values(DamagedCase{"NoHeader", kGood, true},
                    DamagedCase{"CrLf", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"Good\"=\"yes\"\r\n", true},
                    DamagedCase{"GarbageBefore", "\x01\x02zz\n\"x\"=\"y\"\n[bad\n"s + kGood, true},
                    DamagedCase{"GarbageAfter",
                                kGood + "\"Bad\"=\"unterminated\n\"Bad2\"=hex:0g\n\"B3\"=dword:123456789\n", true},
                    DamagedCase{"TruncatedMidValue", "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"Good\"=\"ye", false},
                    DamagedCase{"UnknownHive", "[HKEY_NOWHERE\\K]\n\"Good\"=\"yes\"\n", false},
                    DamagedCase{"DeletedKey", "[-HKEY_CURRENT_USER\\K]\n\"Good\"=\"yes\"\n", false},
                    DamagedCase{"NulBytes", "[HKEY_CURRENT_USER\\K]\n\"Go\0od\"=\"no\"\n\"Good\"=\"yes\"\n"s, true},
                    DamagedCase{"ShortHiveName", "[HKCU\\K]\n\"Good\"=\"yes\"\n", true},
                    DamagedCase{"HexContinued", kGood + "\"Long\"=hex:01,02,\\\n  03\n", true},
                    DamagedCase{"Empty", "", false}),
    [](const auto& info) { return info.param.name; });

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
        out << std::string("\x7f"
                           "ELF\0\0\xff[[[\n\"a\"=",
                           14);
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
        // Each writer starts from nothing: a writer resuming the last round's file
        // would save A=0 beside the old B and look torn when killed between the two.
        std::remove(m_path.c_str());
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
            continue; // killed before the first save finished
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

// A full disk (here: a file size limit) fails the save: the old file stays, the
// change stays in memory with one notice, and the next change saves both.
TEST_F(RegistryStoreTest, FailedSaveKeepsTheChangeAndTriesAgainAtTheNext)
{
    RegistryStore store(m_path);
    ASSERT_TRUE(store.SetValue(RegistryRoot::CurrentUser, "K", "V", Sz("old")));
    std::string before = ReadFile();
    const std::string big(5000, 'n');
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{200, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        RegistryStore inChild(m_path);
        bool stored = inChild.SetValue(RegistryRoot::CurrentUser, "K", "V", Sz(big));
        stored |= inChild.SetValue(RegistryRoot::CurrentUser, "K", "V2", Sz(big));
        bool inMemory = inChild.QueryValue(RegistryRoot::CurrentUser, "K", "V") == Sz(big);
        auto notices = inChild.TakeNotices();
        bool told = notices.size() == 1 && notices[0].error && notices[0].text == m_path + ": File too large";
        bool fileKept = ReadFile() == before;
        limit.rlim_cur = RLIM_INFINITY;
        setrlimit(RLIMIT_FSIZE, &limit);
        bool retried = inChild.SetValue(RegistryRoot::CurrentUser, "K", "W", Sz("w"));
        _exit(!stored && inMemory && told && fileKept && retried ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    RegistryStore reader(m_path);
    EXPECT_EQ(reader.QueryValue(RegistryRoot::CurrentUser, "K", "V"), Sz(big));
    EXPECT_EQ(reader.QueryValue(RegistryRoot::CurrentUser, "K", "W"), Sz("w"));
}

// A change whose file the next start would refuse as too large is not written:
// the file on disk stays the last one that loads.
TEST_F(RegistryStoreTest, SaveLargerThanTheLoadLimitIsRefused)
{
    RegistryStore store(m_path);
    const std::string binary(1 << 20, '\x01'); // written as hex, three characters a byte
    int saved = 0;
    while (saved < 8 && store.SetValue(RegistryRoot::CurrentUser, "K", std::to_string(saved), Sz(binary)))
        ++saved;
    EXPECT_EQ(saved, 5);
    auto notices = store.TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, m_path + ": File too large");
    RegistryStore reader(m_path);
    EXPECT_EQ(reader.QueryValue(RegistryRoot::CurrentUser, "K", "4"), Sz(binary));
    EXPECT_TRUE(reader.TakeNotices().empty());
}

std::string HexBytes(int count)
{
    std::string text = "00";
    for (int i = 1; i < count; ++i)
        text += ",00";
    return text;
}

std::string Nested(int levels)
{
    std::string path = "[HKEY_CURRENT_USER";
    for (int i = 0; i < levels; ++i)
        path += "\\k";
    return path + "]\n";
}

// A file beyond the limits is kept aside as .bad with one message; the defaults
// are used. Files just within them load. Temporaries of dead writers go.
TEST_F(RegistryStoreTest, LimitsOfTheFileAndStaleTemporaries)
{
    const std::string value = "[HKEY_CURRENT_USER\\K]\n\"v\"=\"";
    const struct {
        const char* what;
        std::string text;
        bool damaged;
    } cases[] = {
        {"64 levels", Nested(64), false},
        {"65 levels", Nested(65), true},
        {"1 MiB value", value + std::string(1 << 20, 'x') + "\"\n", false},
        {"larger value", value + std::string((1 << 20) + 1, 'x') + "\"\n", true},
        {"hex value", "[HKEY_CURRENT_USER\\K]\n\"v\"=hex:" + HexBytes((1 << 20) + 1) + "\n", true},
        {"larger file", std::string((16 << 20) + 1, ';'), true},
    };
    pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    waitpid(dead, nullptr, 0);
    for (const auto& c : cases) {
        std::system(("mkdir -p '" + m_dir + "/sub'").c_str());
        std::ofstream(m_path, std::ios::binary) << c.text;
        std::ofstream(m_path + ".tmp." + std::to_string(dead)) << "x";
        std::ofstream(m_path + ".tmp." + std::to_string(getppid())) << "x";
        RegistryStore store(m_path);
        EXPECT_EQ(store.KeyExists(RegistryRoot::CurrentUser, "K"), !c.damaged) << c.what;
        auto notices = store.TakeNotices();
        ASSERT_EQ(notices.size(), c.damaged ? 1u : 0u) << c.what;
        if (c.damaged) {
            EXPECT_NE(notices[0].text.find("kept as " + m_path + ".bad"), std::string::npos) << notices[0].text;
            EXPECT_EQ(access(m_path.c_str(), F_OK), -1) << c.what;
            EXPECT_EQ(access((m_path + ".bad").c_str(), F_OK), 0) << c.what;
        }
        EXPECT_EQ(access((m_path + ".tmp." + std::to_string(dead)).c_str(), F_OK), -1);
        EXPECT_EQ(access((m_path + ".tmp." + std::to_string(getppid())).c_str(), F_OK), 0);
        std::system(("rm -rf '" + m_dir + "/sub'").c_str());
    }
}

} // namespace
