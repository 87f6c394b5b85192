// The preview's decoder fed in pieces, as the virtual printer feeds it: the
// first byte chooses the pieces' sizes; whatever the cut, the result must be
// the whole stream's.
#include <cstdint>
#include <span>

#include "fuzz_input.h"
#include "preview_decoder.h"

using quorvane::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  namespace pv = quorvane::preview;
  if (size == 0) return 0;
  const unsigned seed = data[0];
  const std::span stream(data + 1, size - 1);
  pv::DecodeOptions options;
  options.max_pages = 8;
  const pv::DecodeResult whole = pv::decode_stream(stream.data(), stream.size(), options);
  pv::StreamDecoder decoder(options);
  unsigned state = seed;
  for (std::size_t at = 0; at < stream.size();) {
    state = state * 1103515245u + 12345u;
    const std::size_t n = std::min<std::size_t>(stream.size() - at, 1 + (state >> 16) % 64);
    decoder.feed(stream.subspan(at, n));
    at += n;
  }
  decoder.finish();
  const pv::DecodeResult pieces = decoder.take_result();
  require(pieces.pages.size() == whole.pages.size(), "same pages");
  for (std::size_t i = 0; i < whole.pages.size(); ++i)
    require(pieces.pages[i].width() == whole.pages[i].width() &&
                pieces.pages[i].height() == whole.pages[i].height() &&
                pieces.pages[i].ending == whole.pages[i].ending,
            "same page sizes");
  require(pieces.commands.size() == whole.commands.size(), "same commands");
  for (std::size_t i = 0; i < whole.commands.size(); ++i)
    require(pieces.commands[i].offset == whole.commands[i].offset &&
                pieces.commands[i].name == whole.commands[i].name &&
                pieces.commands[i].detail == whole.commands[i].detail &&
                pieces.commands[i].rows == whole.commands[i].rows,
            "same command");
  require(pieces.problems == whole.problems, "same problems");
  require(pieces.unknown_bytes == whole.unknown_bytes, "same unknown bytes");
  return 0;
}
