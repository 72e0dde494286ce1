#include "web/proxy_password.h"

#include "settings/hex_text.h"

#include <array>
#include <cstring>
#include <vector>

namespace lumetra::web {
namespace {

// A fixed permutation of the bit positions 0..30 (i * 13 + 5 mod 31).
constexpr std::array<int, 31> MakePermutation()
{
    std::array<int, 31> p{};
    for (int i = 0; i < 31; ++i)
        p[static_cast<size_t>(i)] = (i * 13 + 5) % 31;
    return p;
}
constexpr std::array<int, 31> kBitOrder = MakePermutation();

consteval bool IsPermutation()
{
    std::array<bool, 31> seen{};
    for (int b : kBitOrder) {
        if (b < 0 || b > 30 || seen[static_cast<size_t>(b)])
            return false;
        seen[static_cast<size_t>(b)] = true;
    }
    return true;
}
static_assert(IsPermutation());

uint32_t Permute(uint32_t word, int shift)
{
    uint32_t out = 0;
    for (int j = 0; j < 31; ++j)
        if (word >> kBitOrder[static_cast<size_t>((j + shift) % 31)] & 1u)
            out |= 1u << j;
    return out;
}

} // namespace

uint32_t ProxyPasswordKey(std::string_view userName)
{
    uint8_t area[64] = {};
    if (userName.size() > 64)
        userName = userName.substr(0, 64);
    if (!userName.empty())
        for (size_t i = 0; i < 64; ++i)
            area[i] = static_cast<uint8_t>(userName[i % userName.size()]);
    uint32_t a = 0;
    for (int k = 0; k < 16; ++k) {
        const uint8_t* w = area + 4 * k;
        uint32_t word = w[0] | w[1] << 8 | w[2] << 16 | static_cast<uint32_t>(w[3]) << 24;
        a ^= Permute(word, k);
    }
    return Permute(a, 11);
}

void ScrambleBytes(uint8_t* bytes, size_t count, uint32_t key)
{
    uint32_t v = key;
    size_t words = count / 4;
    for (size_t i = 0; i < words; ++i) {
        v += v >> 7;
        uint8_t* w = bytes + 4 * i;
        uint32_t word = (w[0] | w[1] << 8 | w[2] << 16 | static_cast<uint32_t>(w[3]) << 24) ^ v;
        for (int b = 0; b < 4; ++b)
            w[b] = static_cast<uint8_t>(word >> (8 * b));
    }
    for (size_t i = words * 4; i < count; ++i) {
        v += v >> 7;
        bytes[i] ^= static_cast<uint8_t>(v);
    }
}

std::string EncodeProxyPassword(std::string_view password, std::string_view userName)
{
    std::vector<uint8_t> bytes(password.begin(), password.end());
    ScrambleBytes(bytes.data(), bytes.size(), ProxyPasswordKey(userName));
    return settings::HexEncode(bytes.data(), bytes.size());
}

std::string DecodeProxyPassword(std::string_view stored, std::string_view userName)
{
    std::vector<uint8_t> bytes = settings::HexDecode(stored);
    ScrambleBytes(bytes.data(), bytes.size(), ProxyPasswordKey(userName));
    std::string out(bytes.begin(), bytes.end());
    if (size_t nul = out.find('\0'); nul != std::string::npos)
        out.resize(nul);
    return out;
}

} // namespace lumetra::web
