// The shares of the twelve-neighbour error diffusion.
#ifndef QUORVANE_DIFFUSION_SHARES_H
#define QUORVANE_DIFFUSION_SHARES_H

#include <bit>
#include <cmath>
#include <cstdint>

namespace quorvane {

struct DiffusionShares {
  double s1, s3, s4, s5, s6;  // (e * w) / 44 for the weights w = 1, 3, 4, 5, 6
};

// (e * w) / 44 in double precision, bit for bit, with three divisions
// instead of five: doubling and halving are exact while nothing leaves the
// normal range, so (e * 3) / 44 is half of (e * 6) / 44, and (e * 1) / 44 a
// quarter of (e * 4) / 44 (= e / 11, since e * 4 is exact). Errors too small
// for that (never met in practice) are divided out in full. Share6 works out
// (e * 6) / 44, the share that feeds the very next pixel.
template <class Share6>
[[gnu::always_inline]] inline DiffusionShares diffusion_shares(double e) {
  DiffusionShares s;
  s.s6 = Share6::of(e);
  s.s5 = (e * 5) / 44;
  s.s4 = (e * 4) / 44;
  if (std::fabs(e) >= 0x1p-1000) {
    s.s3 = s.s6 * 0.5;
    s.s1 = s.s4 * 0.25;
  } else {
    s.s3 = (e * 3) / 44;
    s.s1 = (e * 1) / 44;
  }
  return s;
}

struct DividedShare6 {
  [[gnu::always_inline]] static double of(double e) { return (e * 6) / 44; }
};

inline DiffusionShares diffusion_shares(double e) { return diffusion_shares<DividedShare6>(e); }

// (e * 6) / 44 without a division on the way from one pixel to the next,
// for CPUs with a fused multiply-add: it is only fast when the caller is
// compiled for one. With x = e * 6, the guess q = x * (1/44) through the
// reciprocal split into two doubles is proven by its exact remainder:
// x - 44q is one fused operation, and |x - 44q| < 22 ulp(q) means x / 44
// lies within half an ulp of q on both sides (q not a power of two), so q is
// the correctly rounded quotient. Rounding is monotonic, so the rounded
// remainder can only pass that test when the true one does. A guess that
// cannot be proven (none was ever seen on real or random values) is divided
// out in full, so every share is the divided one, bit for bit.
struct FusedShare6 {
  static constexpr double kInvHi = 0x1.745d1745d1746p-6;    // 1/44 rounded to a double
  static constexpr double kInvLo = -0x1.745d1745d1746p-61;  // 1/44 - kInvHi, rounded

  [[gnu::always_inline]] static double of(double e) {
    const double x = e * 6;
    const double q = __builtin_fma(x, kInvHi, x * kInvLo);
    if (!is_nearest_quotient(x, q)) [[unlikely]]
      return x / 44;
    return q;
  }

  [[gnu::always_inline]] static bool is_nearest_quotient(double x, double q) {
    constexpr std::uint64_t kExponent = 0x7ff0000000000000u, kFraction = 0x000fffffffffffffu;
    constexpr std::uint64_t kUlpShift = std::uint64_t{52} << 52;  // 2^52 apart
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(q);
    const std::uint64_t exponent = bits & kExponent;
    // Zeros, powers of two, NaNs and quotients whose ulp is not a normal
    // double take the division.
    const bool regular = exponent > kUlpShift && exponent != kExponent && (bits & kFraction) != 0;
    const double ulp = std::bit_cast<double>(regular ? exponent - kUlpShift : kUlpShift);
    const double remainder = __builtin_fma(-q, 44.0, x);
    // x / 44 is exact zero for a zero x, of the same sign.
    const bool zero = x == 0 && bits == std::bit_cast<std::uint64_t>(x);
    return zero || (regular && std::fabs(remainder) < 22.0 * ulp);
  }
};

}  // namespace quorvane

#endif
