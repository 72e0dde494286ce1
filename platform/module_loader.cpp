#include "platform/module_loader.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace lumetra::platform {
namespace {

std::string ProgramFolder()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "";
    std::string folder(path, static_cast<std::size_t>(n));
    return folder.substr(0, folder.find_last_of('/'));
}

} // namespace

const void* LoadModuleTable(const std::string& fileName, const std::string& buildFolder, const char* entry,
                            std::string& error)
{
    error.clear();
    for (const std::string& path : {ProgramFolder() + "/" + fileName, buildFolder + "/" + fileName}) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            if (error.empty())
                error = why ? why : path;
            continue;
        }
        auto function = reinterpret_cast<const void* (*)()>(dlsym(handle, entry));
        if (const void* table = function ? function() : nullptr)
            return table;
        error = path + ": not a matching module";
    }
    return nullptr;
}

} // namespace lumetra::platform
