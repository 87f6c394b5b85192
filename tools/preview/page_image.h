// Writes preview pages as pictures: PNG (through libpng) or PBM.
#ifndef QUORVANE_PREVIEW_PAGE_IMAGE_H
#define QUORVANE_PREVIEW_PAGE_IMAGE_H

#include <string>

#include "preview_decoder.h"

namespace quorvane::preview {

// A 1-bit grey PNG: printed dots black, paper white. False on failure.
bool write_png(const Page &page, const std::string &path);

// A binary PBM (P4): 1 = printed dot. False on failure.
bool write_pbm(const Page &page, const std::string &path);

}  // namespace quorvane::preview

#endif
