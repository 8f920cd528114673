#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "model/canvas.h"
#include "model/colour.h"

namespace model {

// How the conversion turns the scaled picture into black and white.
enum class Dither {
  kThreshold,       // the threshold alone (ThresholdInto), pixel by pixel
  kFloydSteinberg,  // error diffusion to 4 neighbours (7, 3, 5, 1 sixteenths)
  kAtkinson,        // error diffusion to 6 neighbours, an eighth each; a quarter is dropped
  kBayer4,          // ordered dither with the 4 x 4 Bayer matrix
  kBayer8,          // ordered dither with the 8 x 8 Bayer matrix
};

inline constexpr Dither kDithers[] = {Dither::kThreshold, Dither::kFloydSteinberg,
                                      Dither::kAtkinson, Dither::kBayer4, Dither::kBayer8};

// The method's name on the command line: "threshold", "floyd-steinberg", "atkinson", "bayer4",
// "bayer8".
std::string_view DitherName(Dither method);
// The method of a name as DitherName writes it; nothing for any other text.
std::optional<Dither> DitherByName(std::string_view name);

// Tones run from 0 (black) to kToneWhite (white) in sixteenths of a grey level; kToneMiddle is
// the grey that comes out half black, half white.
inline constexpr int kToneScale = 16;
inline constexpr int kToneWhite = 255 * kToneScale;
inline constexpr int kToneMiddle = kToneWhite / 2;

// The grey whose R * G * B product is nearest that of `c`: the cube root of the product, rounded
// to the nearest integer (an exact integer computation). A grey g gives g.
std::uint8_t CubeRootBrightness(Colour c);

// The tone of each brightness 0..255 for a slider position, piecewise linear through three
// points: 0 -> 0, the slider's grey t = cbrt(threshold) -> kToneMiddle, 255 -> kToneWhite, so
// that at "норма" (t about 127.5) it is nearly the identity. When t is 255 or more (nothing is
// bright under the threshold) the first piece alone runs on past white, so white maps below the
// middle; when t is 0 everything above black maps above the middle.
std::array<int, 256> ToneMap(int threshold);

// The conversion's second step with a chosen method, over the top-left width x height area
// (clipped to both rasters): `preview` gets black 0 or white 0xFFFFFF, swapped when `invert`.
// kThreshold is ThresholdInto exactly. The others map each pixel's CubeRootBrightness through
// ToneMap(threshold) and dither the tones; a tone above the middle is white. Error diffusion runs
// in serpentine order (even rows left to right, odd rows right to left, the kernel mirrored) in
// integers, so the result is the same on every machine. Nothing else of `preview` changes.
void DitherInto(const Canvas& scratch, Canvas& preview, int width, int height, int threshold,
                bool invert, Dither method);

}  // namespace model
