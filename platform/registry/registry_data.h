#pragma once
// The settings store's contents: hives of keys, each key holding typed values.
// Key paths and value names compare without regard to ASCII case, as the
// registry does; the spelling first used is kept for writing.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace lumetra::platform {

enum class RegistryRoot : int { CurrentUser = 0, ClassesRoot = 1, LocalMachine = 2 };
inline constexpr int kRegistryRootCount = 3;

// Value types with the registry's numbers.
enum RegistryType : uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
};

struct RegistryValue {
    uint32_t type = kRegSz;
    std::vector<uint8_t> bytes;
    bool operator==(const RegistryValue&) const = default;
};

struct RegistryKey {
    std::string path; // as first spelled, components joined by a backslash
    // lower-cased value name -> (spelling, value); "" is the key's default value
    std::map<std::string, std::pair<std::string, RegistryValue>> values;
};

struct RegistryData {
    // per hive: lower-cased normalised key path -> key
    std::map<std::string, RegistryKey> hives[kRegistryRootCount];

    // Normalised key path: components separated by single backslashes, empty
    // components dropped. Empty when nothing is left.
    static std::string NormaliseKeyPath(std::string_view keyPath);
    static std::string Lower(std::string_view text);

    // Creates the key and every key above it; the path must be normalised and non-empty.
    RegistryKey& CreateKey(RegistryRoot root, const std::string& normalisedPath);
    const RegistryKey* FindKey(RegistryRoot root, std::string_view keyPath) const;
    void SetValue(RegistryRoot root, const std::string& normalisedPath, std::string_view name, RegistryValue value);

    bool operator==(const RegistryData&) const;
};

} // namespace lumetra::platform
