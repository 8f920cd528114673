// Feeds arbitrary text to the array text reader (what the command line's render and the open
// command read). Anything but ParseError escaping, a sanitizer report or a hang is a finding; so
// is text that reads back to a picture whose bytes do not survive writing and reading again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/output.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  model::ParseHints hints;
  hints.width = 84;
  hints.height = 48;
  model::ParsedPicture parsed;
  try {
    parsed = model::ParseOutputText(text, hints);
  } catch (const model::ParseError&) {
    return 0;
  }
  model::PixelStore store;
  model::UnpackBytes(parsed.bytes, parsed.width, parsed.height, parsed.layout, parsed.invert,
                     store);
  model::OutputOptions options;
  options.layout = parsed.layout;
  options.invert = parsed.invert;
  const model::ParsedPicture again =
      model::ParseOutputText(model::BuildFileText(store, parsed.width, parsed.height, options));
  const std::vector<std::uint8_t> packed =
      model::PackBytes(store, parsed.width, parsed.height, parsed.layout, parsed.invert);
  if (again.bytes != packed || again.width != parsed.width || again.height != parsed.height)
    std::abort();
  return 0;
}
