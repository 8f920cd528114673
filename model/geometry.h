#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace model {

// The current picture geometry.
struct BoardGeometry {
  std::uint8_t scale = 4;     // screen pixels per picture pixel: 1, 2, 4 or 8
  std::uint16_t width = 84;   // 4..320, a multiple of 4
  std::uint16_t height = 48;  // 8..240, a multiple of 8

  friend bool operator==(const BoardGeometry&, const BoardGeometry&) = default;
};

inline constexpr int kMinWidth = 4;
inline constexpr int kMaxWidth = 320;
inline constexpr int kWidthStep = 4;
inline constexpr int kMinHeight = 8;
inline constexpr int kMaxHeight = 240;
inline constexpr int kHeightStep = 8;

// The scale list holds "1", "2", "4", "8": index 0 gives 1, 1 gives 2, 2 gives 4, 3 gives 8.
// An index outside the list gives the nearest entry's scale.
std::uint8_t ScaleFromIndex(int index);

// Reads a size box's text as a whole integer with an optional sign; hexadecimal is taken with a
// "$" or "0x" prefix after the sign. Leading blanks are skipped. An empty or unreadable text, or
// a number outside the 32-bit integer range, reads as `minimum`.
int ReadInputValue(std::string_view text, int minimum);

// Normalisation on input: a value with a positive remainder modulo `step` is snapped down to a
// multiple of it (division truncating toward zero); the box then clamps the result into its
// range. A multiple of the step, or a negative value, needs no change: nullopt.
std::optional<int> SnapToStep(int value, int step);

// Taking the size: the clamps applied each time the board is redrawn. Width: above 320 gives
// 320, below 4 gives 4. Height: above 240 gives 240, below 8 gives 8. The result is also snapped
// down to the step, which the input rules have already done for every value that can reach here;
// it keeps the whole-page invariant the export relies on.
int TakeWidth(int requested);
int TakeHeight(int requested);

}  // namespace model
