#pragma once

#include <cstdint>

namespace model {

// A colour laid out 0x00BBGGRR: red in the low byte.
using Colour = std::uint32_t;

inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kWhite = 0xFFFFFF;
// What a read outside a raster yields; never a stored colour.
inline constexpr Colour kInvalidColour = 0xFFFFFFFF;

constexpr Colour Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return Colour{r} | Colour{g} << 8 | Colour{b} << 16;
}
constexpr std::uint8_t RedOf(Colour c) {
  return c & 0xFF;
}
constexpr std::uint8_t GreenOf(Colour c) {
  return (c >> 8) & 0xFF;
}
constexpr std::uint8_t BlueOf(Colour c) {
  return (c >> 16) & 0xFF;
}

}  // namespace model
