#include "ui/dropped_files.h"

#include <algorithm>
#include <filesystem>

namespace lumetra::ui {

std::vector<std::string> FilesUnderFolder(const std::string& folder, std::size_t limit)
{
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator() && files.size() < limit; it.increment(error)) {
        if (it.depth() >= kMaxDroppedDepth)
            it.disable_recursion_pending();
        std::error_code typeError;
        if (it->is_regular_file(typeError))
            files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace lumetra::ui
