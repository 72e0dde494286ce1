#pragma once
// What a drop on the window adds: each dropped file as it is, and for a dropped
// folder the files under it, sorted by path.

#include <string>
#include <vector>

namespace lumetra::ui {

// At most this many files come from one drop, however deep its folders go.
inline constexpr std::size_t kMaxDroppedFiles = 4096;
inline constexpr int kMaxDroppedDepth = 16;

// The regular files under folder (symbolic links to folders are not followed,
// unreadable folders are skipped), in path order.
std::vector<std::string> FilesUnderFolder(const std::string& folder, std::size_t limit = kMaxDroppedFiles);

} // namespace lumetra::ui
