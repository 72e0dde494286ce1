#include "platform/drives/program_directory.h"
#include "platform/xdg_directories.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

namespace lumetra::platform {

std::string ProgramDirectory()
{
    return DataDirectory();
}

bool MakeDirectories(const std::string& dir)
{
    for (std::size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1))
        ::mkdir(dir.substr(0, slash).c_str(), 0700);
    ::mkdir(dir.c_str(), 0700);
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace lumetra::platform
