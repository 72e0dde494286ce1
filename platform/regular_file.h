#pragma once
// Media, playlist and station files are read only when they are regular files:
// opening a FIFO waits for a writer, a device may never end, and a directory
// is no file at all. Every reader of a path given by the user goes through here.

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

struct stat;

namespace lumetra::platform {

// True when path (after symbolic links) exists and is not a regular file.
bool ExistsButNotRegular(const char* path);
// "not a regular file: PATH".
std::string NotRegularFileText(const std::string& path);
// fopen for reading that never blocks: nullptr when path is not a regular file
// (errno EINVAL) or cannot be opened.
std::FILE* OpenRegularFile(const char* path, const char* mode = "rb");
// The same as a descriptor, with the file's status in st; -1 when it is none.
int OpenRegularFd(const char* path, struct stat& st);
// Writes every byte, retrying after signals; false on the first failure.
bool WriteAll(int fd, std::string_view bytes);
// At most maxBytes from the start of a regular file; nullopt when it is none or
// cannot be read.
std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t maxBytes);

} // namespace lumetra::platform
