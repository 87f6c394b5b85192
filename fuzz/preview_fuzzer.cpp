// The preview tool's decoder on arbitrary printer command streams: whatever
// the bytes, it must stay within them and within its page limits, and the
// summary of what it found must be printable.
#include <cstdint>

#include "fuzz_input.h"
#include "preview_decoder.h"

using quorvane::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  namespace pv = quorvane::preview;
  pv::DecodeOptions options;
  options.max_pages = 8;
  const pv::DecodeResult result = pv::decode_stream(data, size, options);
  require(result.pages.size() <= 8, "page limit");
  for (const pv::Page &page : result.pages)
    require(page.width() <= pv::kMaxPageWidth && page.height() <= pv::kMaxPageHeight &&
                static_cast<long>(page.width()) * page.height() <= pv::kMaxPageDots,
            "page size limits");
  require(result.unknown_bytes <= size, "unknown bytes within the stream");
  pv::format_summary(result);
  return 0;
}
