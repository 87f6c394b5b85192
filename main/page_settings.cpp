#include "page_settings.h"

#include <algorithm>

#include "ppd_settings.h"

PageSettings read_page_settings(ppd_file_t *ppd) {
  PageSettings s{};
  s.paper_save_top = retrivePPDPrinterDataToInt(ppd, "PaperSaveTop", -1);
  s.paper_save_middle = retrivePPDPrinterDataToInt(ppd, "PaperSaveMiddle", -1);
  s.paper_save_bottom = retrivePPDPrinterDataToInt(ppd, "PaperSaveBottom", -1);
  s.strip_left = retrivePPDPrinterDataToInt(ppd, "StripLeftPadding", 0);
  s.strip_right = retrivePPDPrinterDataToInt(ppd, "StripRightPadding", 0);
  s.binarization = retrivePPDPrinterDataToInt(ppd, "ImageBinarizationAlgorithm", 0);
  s.conversion = retrivePPDPrinterDataToInt(ppd, "ImageCmdConversionAlgorithm", 0);
  s.upside_down = retrivePPDPrinterDataToInt(ppd, "ImageUpsideDownPrint", 0);
  s.max_printable_width = retrivePPDPrinterDataToInt(ppd, "MaxPrintableWidth", 0);
  s.position_adjustment = retrivePPDPrinterDataToInt(ppd, "HorizontalPrintPositionAdjustment", 0);
  s.alignment = retrivePPDPrinterDataToInt(ppd, "HorizontalPrintAlignment", 0);
  s.offset = retrivePPDPrinterDataToInt(ppd, "HorizontalPrintOffset", 0);
  return s;
}

int cut_width(int width, const PageSettings &s) {
  return s.max_printable_width > 0 && s.max_printable_width < width ? s.max_printable_width
                                                                     : width;
}

CanvasPlacement canvas_placement(int width, const PageSettings &s) {
  long long x = 0;
  int canvas_width = width;
  if (s.position_adjustment && s.max_printable_width > 0) {
    const int d = s.max_printable_width - width;
    if (s.alignment == 1)
      x = d / 2;
    else if (s.alignment == 2)
      x = d;
    x += s.offset;
    canvas_width = s.max_printable_width;
  }
  // Far off the canvas is as off as just off: keep the offset in int range.
  x = std::clamp<long long>(x, -static_cast<long long>(width), std::max(canvas_width, 0));
  return {canvas_width, static_cast<int>(x)};
}
