#include "platform/registry/registry_store.h"
#include "platform/xdg_directories.h"

#include "platform/registry/registry_file.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace lumetra::platform {
namespace {

// Holds an exclusive lock on "<file>.lock" so writers in several processes take turns.
class FileLock {
public:
    explicit FileLock(const std::string& path)
    {
        m_fd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd = -1;
};

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool MakeDirectories(const std::string& dir)
{
    if (dir.empty())
        return true;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        errno = S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
        return S_ISDIR(st.st_mode);
    }
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash)))
        return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string DirectoryOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

std::mutex g_registryLock;
std::unique_ptr<RegistryStore> g_registry;

} // namespace

RegistryStore::RegistryStore(std::string filePath) : m_filePath(std::move(filePath)) {}

bool RegistryStore::Usable(std::string_view text)
{
    for (char c : text)
        if (c == '\n' || c == '\r' || c == '\0')
            return false;
    return true;
}

void RegistryStore::ReloadIfChanged()
{
    if (m_filePath.empty() || m_unsaved) {
        m_loaded = true;
        return;
    }
    if (!m_loaded)
        RemoveStaleTemporaries();
    struct stat st {};
    if (::stat(m_filePath.c_str(), &st) != 0) {
        if (!m_loaded || m_size >= 0)
            m_data = RegistryData{};
        m_loaded = true;
        m_size = -1;
        return;
    }
    long long mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    if (m_loaded && st.st_dev == m_device && st.st_ino == m_inode && st.st_size == m_size && mtimeNs == m_mtimeNs)
        return;
    std::string text;
    std::string reason;
    std::optional<RegistryData> parsed;
    if (!S_ISREG(st.st_mode)) {
        reason = "it is not a regular file";
    } else if (static_cast<std::size_t>(st.st_size) > kRegistryMaxFileBytes) {
        reason = "it is larger than 16 MiB";
    } else {
        int fd = ::open(m_filePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            char chunk[65536];
            ssize_t n;
            while (text.size() <= kRegistryMaxFileBytes &&
                   ((n = ::read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR)))
                if (n > 0)
                    text.append(chunk, static_cast<size_t>(n));
            ::close(fd);
        }
        parsed = ParseRegistryTextWithin(text, reason);
    }
    if (!parsed) {
        KeepDamagedAside(reason);
        return;
    }
    m_data = std::move(*parsed);
    m_loaded = true;
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_size = st.st_size;
    m_mtimeNs = mtimeNs;
}

bool RegistryStore::Save(const RegistryData& data)
{
    if (m_filePath.empty())
        return true;
    std::string dir = DirectoryOf(m_filePath);
    if (!MakeDirectories(dir))
        return false;
    std::string text = FormatRegistryText(data);
    // Written, it would be refused at the next start and the settings lost.
    if (text.size() > kRegistryMaxFileBytes) {
        errno = EFBIG;
        return false;
    }
    std::string temp = m_filePath + ".tmp." + std::to_string(::getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), m_filePath.c_str()) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        errno = error;
        return false;
    }
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    struct stat st {};
    if (::stat(m_filePath.c_str(), &st) == 0) {
        m_device = st.st_dev;
        m_inode = st.st_ino;
        m_size = st.st_size;
        m_mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    }
    return true;
}

void RegistryStore::KeepDamagedAside(const std::string& reason)
{
    std::string aside = m_filePath + ".bad";
    std::string text = "The settings file " + m_filePath + " is damaged (" + reason + ").";
    if (::rename(m_filePath.c_str(), aside.c_str()) == 0)
        text += " It was kept as " + aside + " and the default settings are used.";
    else
        text += " The default settings are used.";
    m_notices.push_back({false, text});
    m_data = RegistryData{};
    m_loaded = true;
    m_size = -1;
}

// "<file>.tmp.<pid>" of a process that no longer runs is what a crash during a
// save leaves behind.
void RegistryStore::RemoveStaleTemporaries()
{
    std::string dir = DirectoryOf(m_filePath);
    std::string prefix = m_filePath.substr(m_filePath.find_last_of('/') + 1) + ".tmp.";
    DIR* listing = ::opendir(dir.c_str());
    if (!listing)
        return;
    while (dirent* entry = ::readdir(listing)) {
        std::string_view name = entry->d_name;
        if (!name.starts_with(prefix))
            continue;
        char* end = nullptr;
        long pid = std::strtol(entry->d_name + prefix.size(), &end, 10);
        if (end && *end == '\0' && pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
            errno == ESRCH)
            ::unlinkat(::dirfd(listing), entry->d_name, 0);
    }
    ::closedir(listing);
}

// Saves a changed copy; when the file cannot be written the change stays in
// memory, the failure is noted, and the next change saves both.
bool RegistryStore::SaveOrKeep(RegistryData changed)
{
    errno = 0;
    bool saved = Save(changed);
    m_data = std::move(changed);
    m_unsaved = !saved;
    std::string text = m_filePath + ": " + std::strerror(errno ? errno : EIO);
    // One notice for a run of changes that fail alike.
    if (!saved && (m_notices.empty() || m_notices.back().text != text))
        m_notices.push_back({true, text});
    return saved;
}

std::vector<RegistryStore::Notice> RegistryStore::TakeNotices()
{
    std::lock_guard lock(m_lock);
    return std::exchange(m_notices, {});
}

bool RegistryStore::KeyExists(RegistryRoot root, std::string_view keyPath)
{
    std::lock_guard lock(m_lock);
    ReloadIfChanged();
    return m_data.FindKey(root, keyPath) != nullptr;
}

bool RegistryStore::CreateKey(RegistryRoot root, std::string_view keyPath)
{
    std::string path = RegistryData::NormaliseKeyPath(keyPath);
    if (path.empty() || !Usable(path))
        return false;
    std::lock_guard lock(m_lock);
    std::unique_ptr<FileLock> fileLock;
    if (!m_filePath.empty())
        fileLock = std::make_unique<FileLock>(m_filePath);
    ReloadIfChanged();
    if (m_data.FindKey(root, path))
        return true;
    RegistryData changed = m_data;
    changed.CreateKey(root, path);
    return SaveOrKeep(std::move(changed));
}

bool RegistryStore::SetValue(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                             RegistryValue value)
{
    std::string path = RegistryData::NormaliseKeyPath(keyPath);
    if (path.empty() || !Usable(path) || !Usable(valueName))
        return false;
    std::lock_guard lock(m_lock);
    std::unique_ptr<FileLock> fileLock;
    if (!m_filePath.empty())
        fileLock = std::make_unique<FileLock>(m_filePath);
    ReloadIfChanged();
    RegistryData changed = m_data;
    changed.SetValue(root, path, valueName, std::move(value));
    // Start-up writes the same associations every time: no rewrite for those.
    if (!m_unsaved && changed == m_data)
        return true;
    return SaveOrKeep(std::move(changed));
}

std::optional<RegistryValue> RegistryStore::QueryValue(RegistryRoot root, std::string_view keyPath,
                                                       std::string_view valueName)
{
    std::lock_guard lock(m_lock);
    ReloadIfChanged();
    const RegistryKey* key = m_data.FindKey(root, keyPath);
    if (!key)
        return std::nullopt;
    auto it = key->values.find(RegistryData::Lower(valueName));
    if (it == key->values.end())
        return std::nullopt;
    return it->second.second;
}

RegistryData RegistryStore::Snapshot()
{
    std::lock_guard lock(m_lock);
    ReloadIfChanged();
    return m_data;
}

std::string DefaultRegistryPath()
{
    return ConfigDirectory() + "registry.reg";
}

RegistryStore& Registry()
{
    std::lock_guard lock(g_registryLock);
    if (!g_registry)
        g_registry = std::make_unique<RegistryStore>(DefaultRegistryPath());
    return *g_registry;
}

void BindRegistry(std::string filePath)
{
    std::lock_guard lock(g_registryLock);
    g_registry = std::make_unique<RegistryStore>(std::move(filePath));
}

} // namespace lumetra::platform
