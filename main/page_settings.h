// The PPD settings that shape a page, and where they place it.
#ifndef QUORVANE_PAGE_SETTINGS_H
#define QUORVANE_PAGE_SETTINGS_H

#include <cups/ppd.h>

struct PageSettings {
  int paper_save_top;
  int paper_save_middle;
  int paper_save_bottom;
  int strip_left;
  int strip_right;
  int binarization;
  int conversion;
  int upside_down;
  int max_printable_width;
  int position_adjustment;
  int alignment;
  int offset;
};

PageSettings read_page_settings(ppd_file_t *ppd);

// The image's width once cut to the printable width.
int cut_width(int width, const PageSettings &s);

// The canvas an image `width` wide (already cut) is binarised from: the
// printable width when horizontal placement is on, else the image itself,
// and the canvas column of the image's first pixel.
struct CanvasPlacement {
  int canvas_width;
  int x;
};
CanvasPlacement canvas_placement(int width, const PageSettings &s);

#endif
