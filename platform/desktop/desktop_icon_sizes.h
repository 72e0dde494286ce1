#pragma once
// The sizes in which the program's icon is embedded (resources/generators/icon)
// and installed under icons/hicolor/NxN/apps/.

#include <array>
#include <string>

namespace lumetra::platform {

inline constexpr std::array<int, 8> kDesktopIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};

// The resource name of one size: "lumetra-48"; "lumetra-scalable" is the SVG.
inline std::string DesktopIconName(int size)
{
    return "lumetra-" + std::to_string(size);
}
inline constexpr const char* kScalableIconName = "lumetra-scalable";

} // namespace lumetra::platform
