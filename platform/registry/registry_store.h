#pragma once
// The per-user settings store standing in for the registry: one REGEDIT4 text
// file holding the three hives. Every change rewrites the file by atomic
// replace (temporary file, fsync, rename), so a crash or a full disk leaves the
// old or the new content, never a broken file. Before each operation the file
// is read again when another process has replaced it. A file beyond the limits
// of ParseRegistryTextWithin is kept aside as "<file>.bad" and the defaults are
// used; temporary files left by a process that died are removed at the first
// read. A save that fails keeps the change in memory; the next change tries again.

#include "platform/registry/registry_data.h"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace lumetra::platform {

class RegistryStore {
public:
    // An empty path keeps the store in memory only.
    explicit RegistryStore(std::string filePath);

    bool KeyExists(RegistryRoot root, std::string_view keyPath);
    // Creates the key and the keys above it; false for an empty or unusable path.
    bool CreateKey(RegistryRoot root, std::string_view keyPath);
    // Creates the key when missing and stores the value; false when nothing was
    // stored (unusable path or name, or the file could not be written).
    bool SetValue(RegistryRoot root, std::string_view keyPath, std::string_view valueName, RegistryValue value);
    std::optional<RegistryValue> QueryValue(RegistryRoot root, std::string_view keyPath, std::string_view valueName);

    const std::string& FilePath() const { return m_filePath; }

    // What the user should be told, oldest first, then forgotten: a damaged file
    // kept aside (a message) or a failed save ("PATH: reason", an error).
    struct Notice {
        bool error;
        std::string text;
    };
    std::vector<Notice> TakeNotices();
    RegistryData Snapshot();

private:
    void ReloadIfChanged();
    void KeepDamagedAside(const std::string& reason);
    void RemoveStaleTemporaries();
    bool SaveOrKeep(RegistryData changed);
    bool Save(const RegistryData& data);
    static bool Usable(std::string_view text);

    std::string m_filePath;
    std::mutex m_lock;
    RegistryData m_data;
    bool m_loaded = false;
    // Changes not yet on disk: the file is not read again until they are.
    bool m_unsaved = false;
    std::vector<Notice> m_notices;
    // Identity of the file last read or written, to notice replacement by another process.
    dev_t m_device = 0;
    ino_t m_inode = 0;
    off_t m_size = -1;
    long long m_mtimeNs = 0;
};

// "$XDG_CONFIG_HOME/lumetra/registry.reg" (XDG_CONFIG_HOME defaulting to ~/.config).
std::string DefaultRegistryPath();

// The process-wide store, bound to DefaultRegistryPath() at first use.
RegistryStore& Registry();
// Binds the process-wide store to another file (tests, tools).
void BindRegistry(std::string filePath);

} // namespace lumetra::platform
