#pragma once
// The library's folder scan: the files a folder tree holds that the scan rules
// take and whose information can be read. It never crosses into another mount,
// never follows a symbolic link into a folder already seen, never opens anything
// but regular files, and skips what it cannot list.

#include "playlist/playlist.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace lumetra::playlist {

// More items than any real collection; a bound on memory for hostile trees.
inline constexpr std::size_t kMaxLibraryItems = 500000;

// A library entry: the parts of its media item that the lists show and play.
struct LibraryItem {
    std::string path;
    std::string title;
    int32_t mediaType = MEDIA_NONE;
    int32_t sampleRate = 0;
    int64_t totalSamples = 0;
    int64_t durationSeconds = 0;
    int32_t layer = -1;
};

// AddLibraryItem's reading: the type of path, and when it is in mask, its
// information; nothing when the type is not in the mask or the sample rate is 0.
// knownRegular: the caller has seen that path is a regular file.
std::optional<LibraryItem> ReadLibraryItem(const ItemReader& reader, const std::string& path, int32_t mask,
                                           bool knownRegular = false);

class FolderScan {
public:
    // progress(title, repaint) is called once per finished folder with the progress
    // title, and with repaint set whenever another 50 items were added.
    FolderScan(const ItemReader& reader, int32_t minWavSize, const std::atomic<bool>& cancel,
               std::function<void(const std::string& title, bool repaint)> progress);

    // ScanFolder: folder ends with "/"; depth -1 unlimited, 0 nothing, 1 the folder
    // alone. Items are appended to items; returns how many were added.
    int ScanFolder(const std::string& folder, int depth, std::vector<LibraryItem>& items);

private:
    int Scan(const std::string& folder, int depth, std::vector<LibraryItem>& items, int& mark);

    const ItemReader& m_reader;
    int32_t m_minWavSize;
    const std::atomic<bool>& m_cancel;
    std::function<void(const std::string&, bool)> m_progress;
    uint64_t m_device = 0;
    std::set<std::pair<uint64_t, uint64_t>> m_seenFolders;
    int m_dots = 0;
};

// The window title while a scan runs: the product title, two blanks and 1 to 8 dots.
std::string ProgressTitle(int step);

} // namespace lumetra::playlist
