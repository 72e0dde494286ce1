#pragma once
// Unnormalised 32-point DCT-II, X[k] = sum x[n] cos(pi (2n + 1) k / 64), by
// recursive even/odd splitting (about 80 multiplications instead of 1024).
// Each lane of the vectors is its own transform: in[n][lane] is x[n] of that
// lane's time slot, so several slots cost little more than one.

namespace lumetra::mpeg {

using Float4 = float __attribute__((vector_size(16)));
using Float8 = float __attribute__((vector_size(32)));

void Dct32(const Float4 in[32], Float4 out[32]);
#if defined(__x86_64__)
// The same with eight lanes; only for processors with AVX2.
[[gnu::target("avx2")]] void Dct32(const Float8 in[32], Float8 out[32]);
#endif

} // namespace lumetra::mpeg
