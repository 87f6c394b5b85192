#include "page_settings.h"

#include <algorithm>

namespace quorvane {

Binarization binarization_from_setting(int value) {
  switch (value) {
    case 1:
      return Binarization::kThresholding;
    case 2:
      return Binarization::kErrorDiffusion;
    default:
      return Binarization::kOrderedDithering;
  }
}

CommandForm command_form_from_setting(int value) {
  switch (value) {
    case 0:
      return CommandForm::kBandedRaster;
    case 1:
      return CommandForm::kCompressedRaster;
    case 2:
      return CommandForm::kJbigBands;
    case 3:
      return CommandForm::kLabelSequence;
    case 4:
      return CommandForm::kTspl;
    case 6:
      return CommandForm::kOrx;
    default:
      return CommandForm::kNone;
  }
}

Alignment alignment_from_setting(int value) {
  switch (value) {
    case 1:
      return Alignment::kCentre;
    case 2:
      return Alignment::kRight;
    default:
      return Alignment::kLeft;
  }
}

int cut_width(int width, const Placement &p) {
  return p.max_printable_width > 0 && p.max_printable_width < width ? p.max_printable_width
                                                                     : width;
}

CanvasPlacement canvas_placement(int width, const Placement &p) {
  long long x = 0;
  int canvas_width = width;
  if (p.adjust && p.max_printable_width > 0) {
    const int d = p.max_printable_width - width;
    if (p.alignment == Alignment::kCentre)
      x = d / 2;
    else if (p.alignment == Alignment::kRight)
      x = d;
    x += p.offset;
    canvas_width = p.max_printable_width;
  }
  // Far off the canvas is as off as just off: keep the offset in int range.
  x = std::clamp<long long>(x, -static_cast<long long>(width), std::max(canvas_width, 0));
  return {canvas_width, static_cast<int>(x)};
}

}  // namespace quorvane
