#include "mpeg/id3v2_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lumetra::mpeg {
namespace {

constexpr std::size_t kMaxFrameBytes = 64 * 1024;       // a title or artist frame, read at most
constexpr std::size_t kMaxUnsyncTagBytes = 1024 * 1024; // a whole-tag unsynchronised 2.2/2.3 tag

constexpr uint8_t kFlagUnsync = 0x80;
constexpr uint8_t kFlagExtendedHeader = 0x40;
constexpr uint8_t kFlagFooter = 0x10;

uint32_t Be(const uint8_t* p, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | p[i];
    return v;
}

uint32_t Syncsafe(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0] & 0x7F) << 21) | (static_cast<uint32_t>(p[1] & 0x7F) << 14) |
           (static_cast<uint32_t>(p[2] & 0x7F) << 7) | (p[3] & 0x7Fu);
}

// Undoes unsynchronisation: every 0xFF 0x00 pair stands for 0xFF.
void Resync(std::vector<uint8_t>& v)
{
    std::size_t out = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        v[out++] = v[i];
        if (v[i] == 0xFF && i + 1 < v.size() && v[i + 1] == 0x00)
            ++i;
    }
    v.resize(out);
}

class Utf8Out {
public:
    Utf8Out(char* out, std::size_t cap) : m_out(out), m_cap(cap) { m_out[0] = '\0'; }
    // False once a character no longer fits.
    bool Put(uint32_t cp)
    {
        if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            cp = 0xFFFD;
        char b[4];
        std::size_t n;
        if (cp < 0x80) {
            b[0] = static_cast<char>(cp);
            n = 1;
        } else if (cp < 0x800) {
            b[0] = static_cast<char>(0xC0 | (cp >> 6));
            b[1] = static_cast<char>(0x80 | (cp & 0x3F));
            n = 2;
        } else if (cp < 0x10000) {
            b[0] = static_cast<char>(0xE0 | (cp >> 12));
            b[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            b[2] = static_cast<char>(0x80 | (cp & 0x3F));
            n = 3;
        } else {
            b[0] = static_cast<char>(0xF0 | (cp >> 18));
            b[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            b[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            b[3] = static_cast<char>(0x80 | (cp & 0x3F));
            n = 4;
        }
        if (m_len + n + 1 > m_cap)
            return false;
        std::memcpy(m_out + m_len, b, n);
        m_len += n;
        m_out[m_len] = '\0';
        return true;
    }
    // A byte as it is (not UTF-8 on its own), for the caller's escaping to show.
    bool PutByte(uint8_t byte)
    {
        if (m_len + 2 > m_cap)
            return false;
        m_out[m_len++] = static_cast<char>(byte);
        m_out[m_len] = '\0';
        return true;
    }

private:
    char* m_out;
    std::size_t m_cap;
    std::size_t m_len = 0;
};

// Code points of Windows-1252 bytes 0x80..0x9F; 0 marks the five it leaves undefined.
constexpr uint16_t kWindows1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                           0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void DecodeUtf16(std::span<const uint8_t> t, bool bigEndian, Utf8Out& out)
{
    const std::size_t units = t.size() / 2; // an odd last byte is dropped
    auto unit = [&](std::size_t i) {
        return bigEndian ? static_cast<uint32_t>(t[2 * i] << 8 | t[2 * i + 1])
                         : static_cast<uint32_t>(t[2 * i + 1] << 8 | t[2 * i]);
    };
    for (std::size_t i = 0; i < units; ++i) {
        uint32_t u = unit(i);
        if (u == 0)
            return;
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
            const uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (!out.Put(u))
            return;
    }
}

void DecodeUtf8(std::span<const uint8_t> t, Utf8Out& out)
{
    for (std::size_t i = 0; i < t.size();) {
        const uint8_t b = t[i];
        if (b == 0)
            return;
        int extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        uint32_t cp = extra == 3 ? b & 0x07u : extra == 2 ? b & 0x0Fu : extra == 1 ? b & 0x1Fu : b;
        bool valid = b < 0x80 || extra > 0;
        std::size_t k = 1;
        for (; valid && k <= static_cast<std::size_t>(extra); ++k) {
            if (i + k >= t.size() || (t[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (t[i + k] & 0x3Fu);
        }
        if (!valid) {
            cp = 0xFFFD;
            k = 1;
        }
        if (!out.Put(cp))
            return;
        i += valid ? k : 1;
    }
}

struct Walk {
    const TagReader& read;
    int major;
    bool unsyncAll;
    Id3v2Texts texts;

    void Frame(const char* id, std::span<const uint8_t> data, uint8_t formatFlags)
    {
        const bool title = std::strcmp(id, "TIT2") == 0 || std::strcmp(id, "TT2") == 0;
        const bool artist = std::strcmp(id, "TPE1") == 0 || std::strcmp(id, "TP1") == 0;
        if (!title && !artist)
            return;
        std::vector<uint8_t> body(data.begin(), data.end());
        if (major == 3) {
            if (formatFlags & 0xC0) // compressed or encrypted
                return;
            if (formatFlags & 0x20) // group byte
                body.erase(body.begin(), body.begin() + std::min<std::size_t>(1, body.size()));
        } else if (major == 4) {
            if (formatFlags & 0x0C)
                return;
            std::size_t skip = (formatFlags & 0x40 ? 1 : 0) + (formatFlags & 0x01 ? 4 : 0);
            body.erase(body.begin(), body.begin() + std::min(skip, body.size()));
            if (unsyncAll || (formatFlags & 0x02))
                Resync(body);
        }
        if (title) {
            DecodeId3Text(body, texts.title, sizeof texts.title);
            texts.hasTitle = true;
        } else {
            DecodeId3Text(body, texts.performer, sizeof texts.performer);
            texts.hasPerformer = true;
        }
    }

    // Frames from pos to end, read through read (offsets from the tag start).
    void Frames(int64_t pos, int64_t end)
    {
        const int headerBytes = major == 2 ? 6 : 10;
        const int idBytes = major == 2 ? 3 : 4;
        while (pos + headerBytes <= end && !(texts.hasTitle && texts.hasPerformer)) {
            uint8_t h[10];
            if (read(pos, h, static_cast<std::size_t>(headerBytes)) < static_cast<std::size_t>(headerBytes))
                return;
            if (h[0] == 0)
                return; // padding
            char id[5] = {};
            std::memcpy(id, h, static_cast<std::size_t>(idBytes));
            uint32_t size;
            if (major == 2)
                size = Be(h + 3, 3);
            else if (major == 3 || (h[4] | h[5] | h[6] | h[7]) & 0x80)
                size = Be(h + 4, 4); // 2.4 writers that forgot the syncsafe form set high bits
            else
                size = Syncsafe(h + 4);
            const int64_t dataPos = pos + headerBytes;
            if (static_cast<int64_t>(size) > end - dataPos)
                return; // a frame that claims more than the tag holds
            const std::size_t want = std::min<std::size_t>(size, kMaxFrameBytes);
            if (std::strcmp(id, "TIT2") == 0 || std::strcmp(id, "TT2") == 0 || std::strcmp(id, "TPE1") == 0 ||
                std::strcmp(id, "TP1") == 0) {
                std::vector<uint8_t> data(want);
                data.resize(read(dataPos, data.data(), want));
                Frame(id, data, major == 2 ? 0 : h[9]);
            }
            pos = dataPos + size;
        }
    }
};

} // namespace

void DecodeId3Text(std::span<const uint8_t> body, char* out, std::size_t cap)
{
    if (cap == 0)
        return;
    Utf8Out o(out, cap);
    if (body.empty())
        return;
    const uint8_t encoding = body[0];
    std::span<const uint8_t> t = body.subspan(1);
    switch (encoding) {
    case 1: {
        bool bigEndian = true;
        if (t.size() >= 2 && t[0] == 0xFF && t[1] == 0xFE) {
            bigEndian = false;
            t = t.subspan(2);
        } else if (t.size() >= 2 && t[0] == 0xFE && t[1] == 0xFF) {
            t = t.subspan(2);
        }
        DecodeUtf16(t, bigEndian, o);
        break;
    }
    case 2:
        DecodeUtf16(t, true, o);
        break;
    case 3:
        DecodeUtf8(t, o);
        break;
    default: // 0, and unknown encodings: this program's 8-bit text, Windows-1252
        for (uint8_t b : t) {
            const uint32_t cp = b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : b;
            if (b == 0 || !(cp ? o.Put(cp) : o.PutByte(b)))
                break;
        }
        break;
    }
}

int64_t Id3v2TotalSize(std::span<const uint8_t> h)
{
    if (h.size() < 10 || h[0] != 'I' || h[1] != 'D' || h[2] != '3' || h[3] == 0xFF || h[4] == 0xFF)
        return 0;
    // Older tags stored sizes with the high bits set; the combination below
    // keeps what the first frame search has always done with them.
    const int64_t size = ((((static_cast<int64_t>(h[6]) << 7) | h[7]) << 7 | h[8]) << 7) | h[9];
    return 10 + size + (h[3] == 4 && (h[5] & kFlagFooter) ? 10 : 0);
}

Id3v2Texts ReadId3v2Texts(const TagReader& read)
{
    uint8_t h[10];
    if (read(0, h, sizeof h) < sizeof h || std::memcmp(h, "ID3", 3) != 0)
        return {};
    const int major = h[3];
    const uint8_t flags = h[5];
    if (Id3v2TotalSize({h, sizeof h}) == 0)
        return {};
    const int64_t size = Id3v2TotalSize({h, sizeof h}) - 10 - (major == 4 && (flags & kFlagFooter) ? 10 : 0);
    if (major < 2 || major > 4 || (major == 2 && (flags & 0x40))) // 2.2 compression has no defined form
        return {};
    const int64_t end = 10 + size;
    Walk walk{read, major, (flags & kFlagUnsync) != 0, {}};

    if (major < 4 && (flags & kFlagUnsync)) {
        // The whole tag is unsynchronised; frame sizes count the restored bytes.
        std::vector<uint8_t> body(static_cast<std::size_t>(std::min<int64_t>(size, kMaxUnsyncTagBytes)));
        body.resize(read(10, body.data(), body.size()));
        Resync(body);
        TagReader inner = [&body](int64_t offset, uint8_t* buf, std::size_t len) -> std::size_t {
            if (offset < 0 || offset >= static_cast<int64_t>(body.size()))
                return 0;
            const std::size_t n = std::min(len, body.size() - static_cast<std::size_t>(offset));
            if (n > 0)
                std::memcpy(buf, body.data() + offset, n);
            return n;
        };
        Walk w{inner, major, false, {}};
        int64_t pos = 0;
        if (major == 3 && (flags & kFlagExtendedHeader) && body.size() >= 4)
            pos = 4 + Be(body.data(), 4);
        w.Frames(pos, static_cast<int64_t>(body.size()));
        return w.texts;
    }

    int64_t pos = 10;
    if (flags & kFlagExtendedHeader) {
        uint8_t e[4];
        if (read(pos, e, 4) < 4)
            return {};
        // 2.3 counts the size field out, 2.4 (syncsafe) counts it in.
        pos += major == 3 ? 4 + static_cast<int64_t>(Be(e, 4)) : static_cast<int64_t>(Syncsafe(e));
    }
    walk.Frames(pos, end);
    return walk.texts;
}

} // namespace lumetra::mpeg
