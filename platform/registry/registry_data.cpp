#include "platform/registry/registry_data.h"

namespace lumetra::platform {

std::string RegistryData::Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string RegistryData::NormaliseKeyPath(std::string_view keyPath)
{
    std::string out;
    size_t start = 0;
    while (start <= keyPath.size()) {
        size_t end = keyPath.find('\\', start);
        if (end == std::string_view::npos)
            end = keyPath.size();
        if (end > start) {
            if (!out.empty())
                out += '\\';
            out.append(keyPath.substr(start, end - start));
        }
        start = end + 1;
    }
    return out;
}

RegistryKey& RegistryData::CreateKey(RegistryRoot root, const std::string& normalisedPath)
{
    auto& hive = hives[static_cast<int>(root)];
    // Parents first, so an exported file lists every level like the registry does.
    size_t pos = normalisedPath.find('\\');
    while (pos != std::string::npos) {
        std::string parent = normalisedPath.substr(0, pos);
        auto [it, inserted] = hive.try_emplace(Lower(parent));
        if (inserted)
            it->second.path = parent;
        pos = normalisedPath.find('\\', pos + 1);
    }
    auto [it, inserted] = hive.try_emplace(Lower(normalisedPath));
    if (inserted)
        it->second.path = normalisedPath;
    return it->second;
}

const RegistryKey* RegistryData::FindKey(RegistryRoot root, std::string_view keyPath) const
{
    const auto& hive = hives[static_cast<int>(root)];
    auto it = hive.find(Lower(NormaliseKeyPath(keyPath)));
    return it == hive.end() ? nullptr : &it->second;
}

void RegistryData::SetValue(RegistryRoot root, const std::string& normalisedPath, std::string_view name,
                            RegistryValue value)
{
    RegistryKey& key = CreateKey(root, normalisedPath);
    auto [it, inserted] = key.values.try_emplace(Lower(name));
    if (inserted)
        it->second.first = std::string(name);
    it->second.second = std::move(value);
}

bool RegistryData::operator==(const RegistryData& other) const
{
    for (int h = 0; h < kRegistryRootCount; ++h) {
        if (hives[h].size() != other.hives[h].size())
            return false;
        auto a = hives[h].begin();
        auto b = other.hives[h].begin();
        for (; a != hives[h].end(); ++a, ++b) {
            if (a->first != b->first || a->second.values.size() != b->second.values.size())
                return false;
            auto va = a->second.values.begin();
            auto vb = b->second.values.begin();
            for (; va != a->second.values.end(); ++va, ++vb)
                if (va->first != vb->first || !(va->second.second == vb->second.second))
                    return false;
        }
    }
    return true;
}

} // namespace lumetra::platform
