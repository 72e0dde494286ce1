#include "platform/registry/registry_file.h"

#include <gtest/gtest.h>

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

} // namespace
