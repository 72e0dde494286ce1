#include "app/event_text.h"

#include <array>
#include <cstdint>

namespace lumetra::app {
namespace {

// Code points of Windows-1252 bytes 0x80..0x9F; 0 marks the undefined ones.
constexpr std::array<uint16_t, 32> kHighControls = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The code point of a byte read as Windows-1252; 0 when undefined.
uint32_t Windows1252(uint8_t byte)
{
    if (byte >= 0x80 && byte < 0xA0)
        return kHighControls[byte - 0x80];
    return byte;
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Length of the valid UTF-8 sequence of two or more bytes at the start of s, or
// 0 (overlong forms, surrogates and code points past U+10FFFF are invalid).
size_t ValidSequence(std::string_view s)
{
    auto at = [&s](size_t i) { return uint8_t(s[i]); };
    uint8_t lead = at(0);
    size_t length;
    uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < length || at(1) < low || at(1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i) {
        if (at(i) < 0x80 || at(i) > 0xBF)
            return 0;
    }
    return length;
}

void AppendEscapedByte(std::string& out, uint8_t byte)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
}

} // namespace

std::string TextToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint8_t byte = uint8_t(text[i]);
        size_t n = byte >= 0x80 ? ValidSequence(text.substr(i)) : 1;
        if (n > 0) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        if (uint32_t cp = Windows1252(byte))
            AppendUtf8(out, cp);
        else
            out += char(byte);
        ++i;
    }
    return out;
}

std::string EscapeEventText(std::string_view text, bool fieldSeparators)
{
    const std::string utf8 = TextToUtf8(text);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        uint8_t byte = uint8_t(utf8[i]);
        if (byte >= 0x80) {
            // Valid sequences, and the undefined Windows-1252 bytes left alone.
            if (size_t n = ValidSequence(std::string_view(utf8).substr(i))) {
                out.append(utf8, i, n);
                i += n;
            } else {
                AppendEscapedByte(out, byte);
                ++i;
            }
            continue;
        }
        switch (byte) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '|':
            out += fieldSeparators ? "\\|" : "|";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F)
                AppendEscapedByte(out, byte);
            else
                out += char(byte);
        }
        ++i;
    }
    return out;
}

std::string AnsiToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        uint32_t cp = Windows1252(uint8_t(c));
        if (cp == 0 && c != 0)
            out += c;
        else
            AppendUtf8(out, cp);
    }
    return out;
}

} // namespace lumetra::app
