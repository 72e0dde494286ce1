#pragma once
// The radio display block: station fields filled by the station directory, status
// fields by the receiver, read by the information screen. Texts are NUL-terminated
// inside their fields; the layout is fixed because all three share the bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace lumetra::radio {

struct RadioDisplay {
    char stationName[256];  // offset 0
    char location[256];     // 256
    char statusText[256];   // 512
    char statusFlags[2];    // 768: 's'/'b' steady or blinking, 'r'/'y' alarm or normal
    char reserved1[286];    // 770
    char webAddress[256];   // 1056
    char description[1024]; // 1312
    char category[128];     // 2336
    char email[256];        // 2464
    char reserved2[16];     // 2720
    int32_t active;         // 2736: 1 while a receiver exists

    void Clear() { std::memset(this, 0, sizeof(*this)); }
};

static_assert(sizeof(RadioDisplay) == 2740);
static_assert(offsetof(RadioDisplay, statusText) == 512);
static_assert(offsetof(RadioDisplay, statusFlags) == 768);
static_assert(offsetof(RadioDisplay, webAddress) == 1056);
static_assert(offsetof(RadioDisplay, description) == 1312);
static_assert(offsetof(RadioDisplay, category) == 2336);
static_assert(offsetof(RadioDisplay, email) == 2464);
static_assert(offsetof(RadioDisplay, active) == 2736);

// Copies text into a fixed field, cut to fit and always terminated.
template <size_t N>
void SetField(char (&field)[N], std::string_view text)
{
    size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

} // namespace lumetra::radio
