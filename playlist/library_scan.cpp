#include "playlist/library_scan.h"
#include "playlist/library_rules.h"
#include "playlist/list_storage.h"

#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace lumetra::playlist {

std::string ProgressTitle(int step)
{
    return "Lumetra Media Player (tm)  " + std::string(static_cast<std::size_t>(step % 8 + 1), '.');
}

std::optional<LibraryItem> ReadLibraryItem(const ItemReader& reader, const std::string& path, int32_t mask,
                                           bool knownRegular)
{
    MediaItem item = MakeMediaItem();
    if (path.empty() || path.size() >= sizeof item.path || (!knownRegular && !MayHoldMedia(path)))
        return std::nullopt;
    std::memcpy(item.path, path.c_str(), path.size() + 1);
    reader(item);
    if ((item.mediaType & mask) == 0 || item.sampleRate == 0)
        return std::nullopt;
    LibraryItem entry;
    entry.path = path;
    entry.title.assign(item.title, strnlen(item.title, sizeof item.title));
    entry.mediaType = item.mediaType;
    entry.sampleRate = item.sampleRate;
    entry.totalSamples = item.totalSamples;
    entry.durationSeconds = item.totalSamples / item.sampleRate;
    entry.layer = item.layer;
    return entry;
}

FolderScan::FolderScan(const ItemReader& reader, int32_t minWavSize, const std::atomic<bool>& cancel,
                       std::function<void(const std::string&, bool)> progress)
    : m_reader(reader), m_minWavSize(minWavSize), m_cancel(cancel), m_progress(std::move(progress))
{
}

int FolderScan::ScanFolder(const std::string& folder, int depth, std::vector<LibraryItem>& items)
{
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return 0;
    m_device = st.st_dev;
    m_seenFolders.clear();
    m_seenFolders.insert({st.st_dev, st.st_ino});
    int mark = 50;
    return Scan(folder, depth, items, mark);
}

int FolderScan::Scan(const std::string& folder, int depth, std::vector<LibraryItem>& items, int& mark)
{
    if (depth == 0 || m_cancel.load(std::memory_order_relaxed))
        return 0;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0; // unreadable folders are skipped silently
    int count = 0;
    std::vector<std::string> folders;
    while (dirent* entry = ::readdir(dir)) {
        if (m_cancel.load(std::memory_order_relaxed))
            break;
        std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = folder + entry->d_name;
        // A path that no item can hold, or that a list file cannot carry, is never taken.
        if (path.size() >= sizeof MediaItem{}.path || path.find_first_of("\r\xff") != std::string::npos)
            continue;
        // A regular file is taken by its name alone unless its size counts too;
        // the others are looked at, as links and folders need to be.
        if (entry->d_type == DT_REG && !TakenByScan(name, UINT64_MAX, m_minWavSize))
            continue;
        struct stat st {};
        if (entry->d_type == DT_REG && TakenByScan(name, 0, m_minWavSize)) {
            st.st_mode = S_IFREG;
            st.st_dev = m_device;
        } else if (::stat(path.c_str(), &st) != 0 || st.st_dev != m_device) {
            continue; // broken links and other mounts
        }
        if (S_ISDIR(st.st_mode)) {
            if (m_seenFolders.insert({st.st_dev, st.st_ino}).second)
                folders.push_back(path + "/");
            continue;
        }
        if (!S_ISREG(st.st_mode) || !TakenByScan(name, static_cast<uint64_t>(st.st_size), m_minWavSize))
            continue;
        if (items.size() >= kMaxLibraryItems)
            continue;
        if (std::optional<LibraryItem> item = ReadLibraryItem(m_reader, path, kAllMediaTypes, true)) {
            items.push_back(std::move(*item));
            ++count;
        }
        if (count > mark) {
            mark = count + 50;
            m_progress(std::string(), true);
        }
    }
    ::closedir(dir);
    for (const std::string& sub : folders) {
        int below = 50;
        count += Scan(sub, depth < 0 ? depth : depth - 1, items, below);
    }
    m_progress(ProgressTitle(m_dots), true);
    m_dots = (m_dots + 1) % 8;
    return count;
}

} // namespace lumetra::playlist
