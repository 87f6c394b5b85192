// The shares of the twelve-neighbour error diffusion.
#ifndef QUORVANE_DIFFUSION_SHARES_H
#define QUORVANE_DIFFUSION_SHARES_H

#include <cmath>

namespace quorvane {

struct DiffusionShares {
  double s1, s3, s4, s5, s6;  // (e * w) / 44 for the weights w = 1, 3, 4, 5, 6
};

// (e * w) / 44 in double precision, bit for bit, with three divisions
// instead of five: doubling and halving are exact while nothing leaves the
// normal range, so (e * 3) / 44 is half of (e * 6) / 44, and (e * 1) / 44 a
// quarter of (e * 4) / 44 (= e / 11, since e * 4 is exact). Errors too small
// for that (never met in practice) are divided out in full.
inline DiffusionShares diffusion_shares(double e) {
  DiffusionShares s;
  s.s6 = (e * 6) / 44;
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

}  // namespace quorvane

#endif
