#include "platform/registry/registry_store.h"
#include "settings/hex_text.h"
#include "settings/preferences.h"
#include "settings/registry_values.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

using namespace lumetra;
using namespace lumetra::settings;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr auto kUser = RegistryRoot::CurrentUser;

class SettingsTest : public testing::Test {
protected:
    void SetUp() override { platform::BindRegistry(""); }
    static std::optional<platform::RegistryValue> Raw(RegistryRoot root, const char* key, const char* name)
    {
        return platform::Registry().QueryValue(root, key, name);
    }
    static void Put(const char* name, const char* data)
    {
        WriteRegistryString(kUser, std::string(kProgramKey) + "Settings\\" + name + "=" + data);
    }
    static std::vector<int32_t> Loaded()
    {
        Settings s;
        LoadSettings(s);
        return {s.desktopIcon, s.checkMp3File, s.connectionSpeed, s.radioFilter, s.rememberExpanded, s.minWavSize};
    }
};

Bytes Sz(std::string_view text)
{
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// "Key\Name=data": a type prefix (in capitals only) picks the stored type.
TEST_F(SettingsTest, ValueStringsStoreTypedBytes)
{
    const struct {
        const char* valueString;
        const char* key;
        const char* name;
        uint32_t type;
        Bytes bytes;
    } cases[] = {
        {"LumetraMP3\\Editflags=REG_BINARY:00000000", "LumetraMP3", "Editflags", 3, {0, 0, 0, 0}},
        {"K\\B=REG_BINARY:0aFfzz", "K", "B", 3, {0x0a, 0xff, 0}},
        {"K\\D=REG_DWORD:0001F400", "K", "D", 4, {0x00, 0xf4, 0x01, 0x00}},
        {"K\\S=REG_SZ:text", "K", "S", 1, Sz("text")},
        {"K\\S=reg_sz:x", "K", "S", 1, Sz("reg_sz:x")},
        {"A\\B\\=x", "A\\B", "", 1, Sz("x")},
        {"K\\U=http://h/?a=b=c", "K", "U", 1, Sz("http://h/?a=b=c")},
        {"K\\N=12", "K", "N", 1, Sz("12")},
    };
    for (const auto& c : cases) {
        WriteRegistryString(RegistryRoot::ClassesRoot, c.valueString);
        auto raw = Raw(RegistryRoot::ClassesRoot, c.key, c.name);
        ASSERT_TRUE(raw) << c.valueString;
        EXPECT_EQ(raw->type, c.type) << c.valueString;
        EXPECT_EQ(raw->bytes, c.bytes) << c.valueString;
    }
    // Without a key nothing is written.
    for (const char* bad : {"", "NoBackslash=1", "=1"})
        WriteRegistryString(kUser, bad);
    WriteRegistryValue(kUser, "", "V", "1");
    EXPECT_TRUE(platform::Registry().Snapshot().hives[0].empty());
}

TEST_F(SettingsTest, ReadResults)
{
    std::string out = "stale";
    EXPECT_EQ(ReadRegistryString(kUser, "", out), 1);
    EXPECT_EQ(out, "");
    out = "stale";
    EXPECT_EQ(ReadRegistryString(kUser, "No\\Such\\Value", out), -1);
    EXPECT_EQ(out, "");
    WriteRegistryString(kUser, "K\\Text=abc");
    EXPECT_EQ(ReadRegistryString(kUser, "K\\Missing", out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(ReadRegistryString(kUser, "K\\Text", out), 0);
    EXPECT_EQ(out, "abc");
    WriteRegistryString(kUser, "K\\N=  -42xyz");
    WriteRegistryString(kUser, "K\\Twelve=12");
    for (auto [path, number] : {std::pair{"K\\Text", 0}, {"K\\Missing", -1}, {"Nokey\\V", -1}, {"", -1},
                                {"K\\N", -42}, {"K\\Twelve", 12}})
        EXPECT_EQ(ReadRegistryNumber(kUser, path), number) << path;
    WriteRegistryString(kUser, std::string("K\\Big=") + std::string(5000, 'z'));
    EXPECT_EQ(ReadRegistryString(kUser, "K\\Big", out), 0);
    EXPECT_EQ(out.size(), kValueReadLimit);
    // The value string itself is cut at 4,095 characters.
    EXPECT_EQ(Raw(kUser, "K", "Big")->bytes.size(), kValueStringLimit - 6 + 1);
}

TEST(HexText, EncodeDecode)
{
    const uint8_t bytes[] = {0x00, 0x7f, 0xab, 0xff};
    EXPECT_EQ(HexEncode(bytes, 4), "007FABFF");
    EXPECT_EQ(HexDecode("007fAbFF"), (Bytes{0x00, 0x7f, 0xab, 0xff}));
    EXPECT_EQ(HexDecode("G1zz1"), (Bytes{0x01, 0x00}));
    EXPECT_EQ(HexDigitValue('f'), 15);
    EXPECT_EQ(HexDigitValue('g'), 0);
}

TEST_F(SettingsTest, DefaultsStoredValuesAndSave)
{
    EXPECT_EQ(Loaded(), (std::vector<int32_t>{1, 1, 1, 0, 1, 1000}));
    EXPECT_EQ(LastMessageId(), 0);
    // Stored values replace the defaults; text reads as 0.
    Put("MinWavSize", "250");
    Put("ConnectionSpeed", "5");
    Put("DesktopIcon", "off");
    EXPECT_EQ(Loaded(), (std::vector<int32_t>{0, 1, 5, 0, 1, 250}));
    EXPECT_EQ(ConnectionSpeedAt(5).name, "Intranet/LAN");
    SaveSettings(Settings{0, 2, 3, 1, 0, 77});
    std::string text;
    EXPECT_EQ(ReadRegistryString(kUser, std::string(kProgramKey) + "Settings\\CheckMP3file", text), 0);
    EXPECT_EQ(text, "2");
    EXPECT_EQ(Loaded(), (std::vector<int32_t>{0, 2, 3, 1, 0, 77}));
    Put("LastMessageID", "-5");
    EXPECT_EQ(LastMessageId(), 0);
    StoreLastMessageId(9);
    EXPECT_EQ(LastMessageId(), 9);
}

TEST_F(SettingsTest, PreferencesOkStoresAndCancelChangesNothing)
{
    Settings s;
    Put("ConnectionSpeed", "5");
    LoadSettings(s);
    auto before = platform::Registry().Snapshot();
    PreferencesView view = OpenPreferences(s);
    EXPECT_TRUE(platform::Registry().Snapshot() == before) << "opening (and cancelling) writes nothing";
    EXPECT_EQ(kConnectionSpeeds[static_cast<size_t>(view.connectionSpeed)].name, "Intranet/LAN");
    // CheckMP3file 1: ticked and greyed.
    EXPECT_TRUE(view.defaultPlayer);
    EXPECT_FALSE(view.defaultPlayerEnabled);
    EXPECT_EQ(view.minWavSizeText, "1000");
    view.minWavSizeText = "250";
    view.radioFilter = true;
    AcceptPreferences(view, s);
    EXPECT_EQ(Loaded(), (std::vector<int32_t>{1, 1, 5, 1, 1, 250}));
    for (auto [text, value] : {std::pair{"12345678", 1234567}, {"abc", 0}, {"  42", 42}, {"", 0}}) {
        view.minWavSizeText = text;
        AcceptPreferences(view, s);
        EXPECT_EQ(s.minWavSize, value) << text;
    }
    // Setup (2): ticked and open; unticking stores 0.
    Put("CheckMP3file", "2");
    LoadSettings(s);
    view = OpenPreferences(s);
    EXPECT_TRUE(view.defaultPlayer);
    EXPECT_TRUE(view.defaultPlayerEnabled);
    view.defaultPlayer = false;
    AcceptPreferences(view, s);
    EXPECT_EQ(Loaded()[1], 0);
}

} // namespace
