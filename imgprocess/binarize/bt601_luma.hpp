// The gray level of a colour pixel, shared by the pixel-format conversion and
// the ESC/POS image library so that both sides agree to the last level.
#ifndef QUORVANE_BT601_LUMA_HPP
#define QUORVANE_BT601_LUMA_HPP

namespace quorvane {

// BT.601 weights summed as (R + G) + B in double precision and truncated, not
// rounded: neutral levels such as 254 come out one lower (253), which callers
// comparing against printed output rely on.
inline unsigned bt601_luma(unsigned r, unsigned g, unsigned b) {
  const double l = (r * 0.299 + g * 0.587) + b * 0.114;
  return static_cast<unsigned>(l);
}

}  // namespace quorvane

#endif
