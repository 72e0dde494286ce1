#pragma once
// The program directory, where the player keeps its writable files (lastplay.lst,
// library.lst, the stream file): "$XDG_DATA_HOME/lumetra/", XDG_DATA_HOME
// defaulting to ~/.local/share. Always ends with "/".

#include <string>

namespace lumetra::platform {

std::string ProgramDirectory();
// Creates the folder and its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& dir);

} // namespace lumetra::platform
