#include "model/array_text.h"

#include "model/output.h"

namespace model {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

std::string ByteToHex(std::uint8_t value) {
  return {kHexDigits[value >> 4], kHexDigits[value & 0x0F]};
}

int BytesPerLine(int width) {
  if (width % 12 == 0) return 12;
  if (width % 8 == 0) return 8;
  return 4;
}

std::string BuildArrayText(const PixelStore& store, int width, int height) {
  // The classic text is the output module's text with every option at its default.
  return BuildOutputText(store, width, height, OutputOptions{});
}

}  // namespace model
