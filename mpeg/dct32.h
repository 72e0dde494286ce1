#pragma once
// Unnormalised 32-point DCT-II, X[k] = sum x[n] cos(pi (2n + 1) k / 64), by
// recursive even/odd splitting (about 80 multiplications instead of 1024).

namespace lumetra::mpeg {

void Dct32(const float in[32], float out[32]);

} // namespace lumetra::mpeg
