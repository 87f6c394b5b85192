// The settings that shape, binarise and encode a page: named types, each
// front-end's raw values checked once on the way in.
#ifndef QUORVANE_ENGINE_PAGE_SETTINGS_H
#define QUORVANE_ENGINE_PAGE_SETTINGS_H

namespace quorvane {

enum class Binarization { kOrderedDithering, kThresholding, kErrorDiffusion };

// The page command forms; kNone makes no command block, so a page asked for
// in it fails.
enum class CommandForm {
  kBandedRaster,
  kCompressedRaster,
  kJbigBands,
  kLabelSequence,
  kTspl,
  kNone,
  kOrx,
};

enum class Alignment { kLeft, kCentre, kRight };

// Settings are numbers in PPDs and on command lines: 1 thresholds, 2
// diffuses, anything else dithers.
Binarization binarization_from_setting(int value);
// 0 to 4 and 6 name a form; 5 and anything else name none.
CommandForm command_form_from_setting(int value);
// 1 centres, 2 aligns right, anything else aligns left.
Alignment alignment_from_setting(int value);

// At most this many blank rows are kept at the top, in any run in the
// middle and at the bottom of a page; 0 or less keeps every one.
struct PaperSaving {
  int top = -1;
  int middle = -1;
  int bottom = -1;
};

// Where the page goes across the paper. An image wider than a positive
// max_printable_width is cut to it (its middle kept); with `adjust` the
// image is placed on a canvas that wide, aligned and moved by `offset` dots.
struct Placement {
  int max_printable_width = 0;
  bool adjust = false;
  Alignment alignment = Alignment::kLeft;
  int offset = 0;
};

// The label printers' settings as the printer's settings read them: an unset
// density is below 0 and an unset speed 0 or less; these are then not sent.
struct TsplSettings {
  int speed = 0;
  int density = -1;
  int paper_type = 1;  // 0 continuous, 1 gap labels, 2 black mark
};

struct OrxSettings {
  int paper_type = 0;         // 1 labels
  int image_compression = 0;  // 1 run-length rows, 2 JBIG bands, else GS v 0
  int speed = 0;
  int density = -1;
  int finish_feed = 0;  // mm after each page
  int finish_cut = 0;   // 1 partial, 2 full
};

struct PageSettings {
  PaperSaving paper_saving;
  bool strip_left = false;
  bool strip_right = false;
  Binarization binarization = Binarization::kOrderedDithering;
  CommandForm command = CommandForm::kBandedRaster;
  bool upside_down = false;
  Placement placement;
  TsplSettings tspl;
  OrxSettings orx;
};

// The image's width once cut to the printable width.
int cut_width(int width, const Placement &p);

// The canvas an image `width` wide (already cut) is binarised from: the
// printable width when placement is on, else the image itself; and the
// canvas column of the image's first pixel, clamped to where it can still
// touch the canvas.
struct CanvasPlacement {
  int canvas_width;
  int x;
};
CanvasPlacement canvas_placement(int width, const Placement &p);

}  // namespace quorvane

#endif
