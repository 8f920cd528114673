#include "model/geometry.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace model {

std::uint8_t ScaleFromIndex(int index) {
  static constexpr std::uint8_t kScales[] = {1, 2, 4, 8};
  return kScales[std::clamp(index, 0, 3)];
}

int ReadInputValue(std::string_view text, int minimum) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return minimum;

  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const unsigned char ch = static_cast<unsigned char>(text[i]);
    int digit;
    if (ch >= '0' && ch <= '9') {
      digit = ch - '0';
    } else if (base == 16 && std::isxdigit(ch)) {
      digit = std::tolower(ch) - 'a' + 10;
    } else {
      return minimum;
    }
    magnitude = magnitude * base + digit;
    if (magnitude > std::int64_t{INT32_MAX} + 1) return minimum;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX || value < INT32_MIN) return minimum;
  return static_cast<int>(value);
}

std::optional<int> SnapToStep(int value, int step) {
  if (value % step > 0) return value / step * step;
  return std::nullopt;
}

int TakeWidth(int requested) {
  const int w = std::clamp(requested, kMinWidth, kMaxWidth);
  return w / kWidthStep * kWidthStep;
}

int TakeHeight(int requested) {
  // Raised to 4 by the size rule, then to the box's own minimum of 8.
  const int h = std::clamp(requested, kMinHeight, kMaxHeight);
  return h / kHeightStep * kHeightStep;
}

}  // namespace model
