#include "page_engine.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace quorvane {

PageEngine::PageEngine(TraceSink trace) : trace_(std::move(trace)) {}

bool PageEngine::start_page(const PageGeometry &geometry, const PageSettings &settings) {
  road_.reset();
  rows_left_ = 0;
  error_ = "";
  if (!gray_page_usable(geometry)) {
    error_ = "the page is not an 8-bit page of a size that can be printed";
    return false;
  }
  geometry_ = geometry;
  settings_ = settings;
  // Most pages are binarised as their rows arrive; the whole page is held
  // only when a step needs all of it.
  road_ = takes_streamed_road(geometry, settings) ? make_streamed_road() : make_whole_page_road();
  if (!road_->start(geometry, settings)) {
    road_.reset();
    error_ = "out of memory for the page";
    return false;
  }
  rows_left_ = geometry.height;
  return true;
}

std::span<unsigned char> PageEngine::row_buffer() {
  if (!road_ || rows_left_ == 0) return {};
  return road_->row_buffer();
}

void PageEngine::row_done() {
  if (!road_ || rows_left_ == 0) return;
  road_->row_done();
  --rows_left_;
}

bool PageEngine::push_row(std::span<const unsigned char> row) {
  const std::span<unsigned char> into = row_buffer();
  if (into.empty() || row.size() != into.size()) return false;
  std::memcpy(into.data(), row.data(), row.size());
  row_done();
  return true;
}

MonoRaster PageEngine::finish_raster() {
  MonoRaster mono;
  if (!road_) {
    error_ = "no page was started";
  } else if (rows_left_ > 0) {
    error_ = "the page ended before its last row";
  } else {
    mono = road_->finish();
    if (!mono.data) error_ = "the page could not be laid out or binarised";
  }
  road_.reset();
  rows_left_ = 0;
  return mono;
}

CommandBlock PageEngine::finish_page() {
  const MonoRaster mono = finish_raster();
  if (!mono.data) return {};
  if (trace_) {
    char line[96];
    std::snprintf(line, sizeof line, "PrintPage: monoimg_width_stride:%d monoimg_height:%d",
                  mono.width_stride, mono.height);
    trace_(line);
  }
  CommandBlock block = encode_page(mono, settings_, geometry_, trace_);
  if (!block) error_ = "the page has no printer command form, or its encoder refused it";
  return block;
}

}  // namespace quorvane
