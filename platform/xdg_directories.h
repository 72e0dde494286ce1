#pragma once
// The per-user folders of the XDG base directories, each with "lumetra/" added
// and ending in "/": the configuration folder (registry, profile files) and the
// data folder (the program directory). A variable that is unset or not absolute
// takes its default under $HOME; without a home, /tmp.

#include <string>

namespace lumetra::platform {

std::string ConfigDirectory(); // $XDG_CONFIG_HOME/lumetra/, default ~/.config/lumetra/
std::string DataDirectory();   // $XDG_DATA_HOME/lumetra/, default ~/.local/share/lumetra/
// The base folders themselves, without "lumetra/" and the final "/".
std::string ConfigHomeDirectory();
std::string DataHomeDirectory();

} // namespace lumetra::platform
