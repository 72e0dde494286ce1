#include "app/event_text.h"

#include <gtest/gtest.h>

namespace lumetra::app {
namespace {

struct EscapeCase {
    const char* what;
    std::string text;
    bool fields;
    std::string printed;
};

TEST(EventText, EscapesEveryByteThatCouldEndOrForgeALine)
{
    const EscapeCase cases[] = {
        {"plain", "Song 1 (live)", false, "Song 1 (live)"},
        {"newline", "x\nend", false, "x\\nend"},
        {"carriage return", "a\rb", false, "a\\rb"},
        {"tab", "a\tb", false, "a\\tb"},
        {"backslash", "C:\\x", false, "C:\\\\x"},
        {"bar outside fields", "a|b", false, "a|b"},
        {"bar inside a field", "a|b", true, "a\\|b"},
        {"control bytes", std::string("\x01\x1f\x7f", 3), false, "\\x01\\x1F\\x7F"},
        {"zero byte", std::string("a\0b", 3), false, "a\\x00b"},
        {"valid UTF-8 kept", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5", false,
         "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5"},
        {"Windows-1252 bytes", "caf\xE9 \x80 \x93x\x94", false, "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D"},
        {"undefined Windows-1252 bytes", "\x81\x8D\x8F\x90\x9D", false, "\\x81\\x8D\\x8F\\x90\\x9D"},
        {"truncated sequence", "\xE2\x82", false, "\xC3\xA2\xE2\x80\x9A"},
        {"overlong slash", "\xC0\xAF", false, "\xC3\x80\xC2\xAF"},
        {"surrogate", "\xED\xA0\x80", false, "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", false, "\xC3\xB4\\x90\xE2\x82\xAC\xE2\x82\xAC"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapeEventText(c.text, c.fields), c.printed) << c.what;
}

TEST(EventText, AnsiTextIsReadAsWindows1252EvenWhereItLooksLikeUtf8)
{
    EXPECT_EQ(AnsiToUtf8("\xC3\xA9"), "\xC3\x83\xC2\xA9");
    EXPECT_EQ(AnsiToUtf8("\x80\x9F\xFF"), "\xE2\x82\xAC\xC5\xB8\xC3\xBF");
    EXPECT_EQ(EscapeEventText(AnsiToUtf8("\x81\n")), "\\x81\\n");
    // Tags and file names (what MPRIS shows) keep their UTF-8.
    EXPECT_EQ(TextToUtf8("\xC3\xA9\xE9\x81"), "\xC3\xA9\xC3\xA9\x81");
}

} // namespace
} // namespace lumetra::app
