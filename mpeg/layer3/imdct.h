#pragma once
// Inverse MDCTs of the hybrid filter, each computed through a DCT-IV that runs
// as a complex DFT of a quarter of the output length (9 points as 3 x 3, and
// 3 points). The 36-point transform also runs on four subbands at once, one in
// each lane of a 4-float vector.

namespace lumetra::mpeg {

using Float4 = float __attribute__((vector_size(16)));

// out[i] = sum(k = 0..17) in[k] cos(pi / 72 (2i + 19)(2k + 1)), i = 0..35.
void Imdct36(const float in[18], float out[36]);
void Imdct36(const Float4 in[18], Float4 out[36]);
// out[i] = sum(k = 0..5) in[k] cos(pi / 24 (2i + 7)(2k + 1)), i = 0..11.
void Imdct12(const float in[6], float out[12]);

} // namespace lumetra::mpeg
