#include "platform/registry/registry_store.h"
#include "settings/hex_text.h"
#include "settings/registry_values.h"

#include <gtest/gtest.h>

using namespace lumetra;
using namespace lumetra::settings;

namespace {

class RegistryValues : public testing::Test {
protected:
    void SetUp() override { platform::BindRegistry(""); }
    std::optional<platform::RegistryValue> Raw(RegistryRoot root, const char* key, const char* name)
    {
        return platform::Registry().QueryValue(root, key, name);
    }
};

TEST_F(RegistryValues, NumberWrittenAsTextReadsBack)
{
    WriteRegistryString(RegistryRoot::CurrentUser,
                        "Software\\Lumetra software\\Lumetra Media Player\\Settings\\LastMessageID=12");
    auto raw =
        Raw(RegistryRoot::CurrentUser, "Software\\Lumetra software\\Lumetra Media Player\\Settings", "LastMessageID");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, platform::kRegSz);
    EXPECT_EQ(raw->bytes, (std::vector<uint8_t>{'1', '2', 0}));
    EXPECT_EQ(ReadRegistryNumber(RegistryRoot::CurrentUser,
                                 "Software\\Lumetra software\\Lumetra Media Player\\Settings\\LastMessageID"),
              12);
}

struct TypedCase {
    const char* name;
    const char* valueString;
    const char* key;
    const char* valueName;
    uint32_t type;
    std::vector<uint8_t> bytes;
};

class TypedValues : public RegistryValues, public testing::WithParamInterface<TypedCase> {};

TEST_P(TypedValues, StoreTheirBytes)
{
    const auto& c = GetParam();
    WriteRegistryString(RegistryRoot::ClassesRoot, c.valueString);
    auto raw = Raw(RegistryRoot::ClassesRoot, c.key, c.valueName);
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, c.type);
    EXPECT_EQ(raw->bytes, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TypedValues,
    testing::Values(
        TypedCase{"Binary", "LumetraMP3\\Editflags=REG_BINARY:00000000", "LumetraMP3", "Editflags", 3, {0, 0, 0, 0}},
        TypedCase{"BinaryMixedCase", "K\\B=REG_BINARY:0aFfzz", "K", "B", 3, {0x0a, 0xff, 0}},
        TypedCase{"Dword", "K\\D=REG_DWORD:0001F400", "K", "D", 4, {0x00, 0xf4, 0x01, 0x00}},
        TypedCase{"SzPrefix", "K\\S=REG_SZ:text", "K", "S", 1, {'t', 'e', 'x', 't', 0}},
        TypedCase{"PrefixCaseMatters", "K\\S=reg_sz:x", "K", "S", 1, {'r', 'e', 'g', '_', 's', 'z', ':', 'x', 0}},
        TypedCase{"DefaultValue", "A\\B\\=x", "A\\B", "", 1, {'x', 0}},
        TypedCase{"EqualsInData",
                  "K\\U=http://h/?a=b=c",
                  "K",
                  "U",
                  1,
                  {'h', 't', 't', 'p', ':', '/', '/', 'h', '/', '?', 'a', '=', 'b', '=', 'c', 0}}),
    [](const auto& info) { return info.param.name; });

TEST_F(RegistryValues, NothingWrittenWithoutKey)
{
    WriteRegistryString(RegistryRoot::CurrentUser, "");
    WriteRegistryString(RegistryRoot::CurrentUser, "NoBackslash=1");
    WriteRegistryString(RegistryRoot::CurrentUser, "=1");
    WriteRegistryValue(RegistryRoot::CurrentUser, "", "V", "1");
    auto data = platform::Registry().Snapshot();
    EXPECT_TRUE(data.hives[0].empty());
}

TEST_F(RegistryValues, ReadResults)
{
    std::string out = "stale";
    EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, "", out), 1);
    EXPECT_EQ(out, "");
    out = "stale";
    EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, "No\\Such\\Value", out), -1);
    EXPECT_EQ(out, "");
    WriteRegistryString(RegistryRoot::CurrentUser, "K\\Text=abc");
    EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, "K\\Missing", out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, "K\\Text", out), 0);
    EXPECT_EQ(out, "abc");
    EXPECT_EQ(ReadRegistryNumber(RegistryRoot::CurrentUser, "K\\Text"), 0);
    EXPECT_EQ(ReadRegistryNumber(RegistryRoot::CurrentUser, "K\\Missing"), -1);
    EXPECT_EQ(ReadRegistryNumber(RegistryRoot::CurrentUser, "Nokey\\V"), -1);
    EXPECT_EQ(ReadRegistryNumber(RegistryRoot::CurrentUser, ""), -1);
    WriteRegistryString(RegistryRoot::CurrentUser, "K\\N=  -42xyz");
    EXPECT_EQ(ReadRegistryNumber(RegistryRoot::CurrentUser, "K\\N"), -42);
    WriteRegistryString(RegistryRoot::CurrentUser, std::string("K\\Big=") + std::string(5000, 'z'));
    EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, "K\\Big", out), 0);
    EXPECT_EQ(out.size(), kValueReadLimit);
    // The value string itself is cut at 4,095 characters.
    EXPECT_EQ(Raw(RegistryRoot::CurrentUser, "K", "Big")->bytes.size(), kValueStringLimit - 6 + 1);
}

TEST(HexText, EncodeDecode)
{
    const uint8_t bytes[] = {0x00, 0x7f, 0xab, 0xff};
    EXPECT_EQ(HexEncode(bytes, 4), "007FABFF");
    EXPECT_EQ(HexDecode("007fAbFF"), (std::vector<uint8_t>{0x00, 0x7f, 0xab, 0xff}));
    EXPECT_EQ(HexDecode("G1zz1"), (std::vector<uint8_t>{0x01, 0x00}));
    EXPECT_EQ(HexDigitValue('f'), 15);
    EXPECT_EQ(HexDigitValue('g'), 0);
}

} // namespace
