#pragma once
// Scale factor multipliers 2^(1 - i/3) of layers I and II; index 63, which the
// standard forbids, gives near silence.

#include <array>
#include <cmath>

namespace lumetra::mpeg {

inline const std::array<double, 64>& ScaleFactorMultipliers()
{
    static const std::array<double, 64> table = [] {
        std::array<double, 64> t{};
        for (int i = 0; i < 63; ++i)
            t[i] = std::pow(2.0, 1.0 - i / 3.0);
        t[63] = 1e-20;
        return t;
    }();
    return table;
}

} // namespace lumetra::mpeg
