#include "playlist/library_rules.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace lumetra::playlist {
namespace {

unsigned char Folded(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

} // namespace

bool TakenByScan(std::string_view name, uint64_t sizeBytes, int32_t minWavSize)
{
    if (name.size() < 5)
        return false;
    char ext[4];
    for (int i = 0; i < 4; ++i)
        ext[i] = static_cast<char>(Folded(name[name.size() - 4 + static_cast<std::size_t>(i)]));
    std::string_view e(ext, 4);
    if (e == ".mp3" || e == ".mid" || e == ".rmi")
        return true;
    if (e == ".wav")
        return sizeBytes > UINT32_MAX || static_cast<int64_t>(sizeBytes) > int64_t{minWavSize} * 1000;
    return false;
}

std::string_view SortKey(std::string_view title, std::string_view path)
{
    if (!title.empty())
        return title;
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

int CompareNoCase(std::string_view a, std::string_view b)
{
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = Folded(a[i]), y = Folded(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace lumetra::playlist
