#include "model/dither.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "model/conversion.h"

namespace model {
namespace {

struct Named {
  Dither method;
  std::string_view name;
};

constexpr Named kNames[] = {
    {Dither::kThreshold, "threshold"}, {Dither::kFloydSteinberg, "floyd-steinberg"},
    {Dither::kAtkinson, "atkinson"},   {Dither::kBayer4, "bayer4"},
    {Dither::kBayer8, "bayer8"},
};

// kEdges[k]: the least product whose rounded cube root is k or more, ceil((k - 1/2)^3) =
// ceil((2k - 1)^3 / 8), for k from 1 to 255; kEdges[256] stops every search.
constexpr std::array<std::uint32_t, 257> kEdges = [] {
  std::array<std::uint32_t, 257> edges{};
  for (std::uint64_t k = 1; k <= 255; ++k) {
    const std::uint64_t cube = (2 * k - 1) * (2 * k - 1) * (2 * k - 1);
    edges[k] = static_cast<std::uint32_t>((cube + 7) / 8);
  }
  edges[256] = std::numeric_limits<std::uint32_t>::max();
  return edges;
}();

// A product shifted right by kStartShift indexes kStart: the rounded cube root of the lowest
// product of that block, from which a search goes up. Above the first few blocks it is off by at
// most one.
constexpr int kStartShift = 12;
constexpr int kStartBlocks = (255 * 255 * 255 >> kStartShift) + 1;
constexpr std::array<std::uint8_t, kStartBlocks> kStart = [] {
  std::array<std::uint8_t, kStartBlocks> start{};
  int v = 0;
  for (int block = 0; block < kStartBlocks; ++block) {
    const auto product = static_cast<std::uint32_t>(block) << kStartShift;
    while (kEdges[v + 1] <= product) ++v;
    start[block] = static_cast<std::uint8_t>(v);
  }
  return start;
}();

// From here on a block's products have rounded cube roots at most one apart (the edges lie more
// than a block apart), so one branch-free step finishes the search.
constexpr std::uint32_t kLargeProducts = 1 << 16;
static_assert(kEdges[41] - kEdges[40] > (1u << kStartShift) && kEdges[40] <= kLargeProducts &&
              kEdges[41] > kLargeProducts);

std::uint8_t RoundedCubeRoot(std::uint32_t product) {
  int v = kStart[product >> kStartShift];
  if (product >= kLargeProducts) {
    v += kEdges[v + 1] <= product;
  } else {
    while (kEdges[v + 1] <= product) ++v;
  }
  return static_cast<std::uint8_t>(v);
}

// round(kToneScale * cbrt(threshold)): the greatest k with (k - 1/2)^3 <= threshold * 16^3.
int ScaledCubeRoot(int threshold) {
  const std::int64_t target = std::int64_t{threshold} * 8 * kToneScale * kToneScale * kToneScale;
  int low = 0;  // (2 * low - 1)^3 <= 8 * target always holds for low = 0
  int high = 256 * kToneScale + 1;
  while (high - low > 1) {
    const int k = (low + high) / 2;
    const std::int64_t odd = 2 * std::int64_t{k} - 1;
    (odd * odd * odd <= target ? low : high) = k;
  }
  return low;
}

// Rounded a / b for a >= 0, b > 0.
constexpr int DivRound(std::int64_t a, std::int64_t b) {
  return static_cast<int>((2 * a + b) / (2 * b));
}

constexpr std::uint32_t kWhiteWord = kWhite | Canvas::kOpaque;
constexpr std::uint32_t kBlackWord = kBlack | Canvas::kOpaque;

using ToneTable = std::array<int, 256>;

// The tones of a row of the scratch raster.
void ToneRow(const std::uint32_t* in, int width, const ToneTable& map, int* out) {
  for (int x = 0; x < width; ++x) out[x] = map[CubeRootBrightness(in[x])];
}

// One neighbour of an error diffusion kernel: columns ahead in the scan direction, rows down,
// and its share of the error in 1 / Kernel::denominator.
struct Tap {
  int ahead;
  int down;
  int weight;
};

// The kernels, as types, so that each diffusion is compiled with its taps and divisor fixed.
struct FloydSteinberg {
  static constexpr Tap kTaps[] = {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}};
  static constexpr int kDenominator = 16;
  // The last tap takes what the others leave, so that no error is lost to rounding.
  static constexpr bool kConserving = true;
};
struct Atkinson {
  static constexpr Tap kTaps[] = {{1, 0, 1}, {2, 0, 1}, {-1, 1, 1},
                                  {0, 1, 1}, {1, 1, 1}, {0, 2, 1}};
  static constexpr int kDenominator = 8;
  // A quarter of the error is dropped by design, and each share is rounded toward zero.
  static constexpr bool kConserving = false;
};
constexpr int kMaxDown = 2;
constexpr int kMargin = 2;  // the farthest reach sideways

// One row of error diffusion, scanned in direction kStep (1 or -1); rows[d] is the pending error
// of the row d below.
template <class Kernel, int kStep>
void DiffuseRow(const int* tone, std::uint32_t* out, int* const* rows, int width,
                std::uint32_t white, std::uint32_t black) {
  for (int i = 0; i < width; ++i) {
    const int x = kStep > 0 ? i : width - 1 - i;
    const int value = tone[x] + rows[0][x];
    const bool bright = value > kToneMiddle;
    out[x] = bright ? white : black;
    const int error = value - (bright ? kToneWhite : 0);
    int left = error;
    constexpr std::size_t kCount = std::size(Kernel::kTaps);
    for (std::size_t t = 0; t < kCount; ++t) {
      const Tap& tap = Kernel::kTaps[t];
      const int share =
          Kernel::kConserving && t + 1 == kCount ? left : error * tap.weight / Kernel::kDenominator;
      left -= share;
      rows[tap.down][x + tap.ahead * kStep] += share;
    }
  }
}

// Error diffusion in serpentine order. `errors` holds kMaxDown + 1 rows of pending error with a
// margin on each side, which swallows what falls outside the area.
template <class Kernel>
void Diffuse(const Canvas& scratch, const ToneTable& map, Canvas& preview, int width, int height,
             bool invert) {
  std::vector<int> tone(static_cast<std::size_t>(width));
  const int stride = width + 2 * kMargin;
  std::vector<int> errors(static_cast<std::size_t>(stride) * (kMaxDown + 1), 0);
  auto errorRow = [&](int y) { return errors.data() + (y % (kMaxDown + 1)) * stride + kMargin; };
  const std::uint32_t white = invert ? kBlackWord : kWhiteWord;
  const std::uint32_t black = invert ? kWhiteWord : kBlackWord;
  for (int y = 0; y < height; ++y) {
    ToneRow(scratch.Row(y), width, map, tone.data());
    int* rows[kMaxDown + 1];
    for (int d = 0; d <= kMaxDown; ++d) rows[d] = errorRow(y + d);
    if (y % 2 == 0) {
      DiffuseRow<Kernel, 1>(tone.data(), preview.Row(y), rows, width, white, black);
    } else {
      DiffuseRow<Kernel, -1>(tone.data(), preview.Row(y), rows, width, white, black);
    }
    std::fill(rows[0] - kMargin, rows[0] - kMargin + stride, 0);
  }
}

// Atkinson passes on three quarters of the error, which stretches tones away from the middle
// (by about 1.3 there, and to solid black or white within an eighth of either end). Pressing the
// tones toward the middle by 25/32 first gives back the black share the tone map asks for, within
// 2 % over the whole range, and keeps the method's clean, sparse patterns: black and white still
// land in the solid ends.
ToneTable PressedForAtkinson(ToneTable map) {
  for (int& tone : map) tone = kToneMiddle + (tone - kToneMiddle) * 25 / 32;
  return map;
}

// The n x n Bayer matrix, built by doubling: M(2n) = [4M + 0, 4M + 2; 4M + 3, 4M + 1].
template <int N>
constexpr std::array<std::array<int, N>, N> BayerMatrix() {
  std::array<std::array<int, N>, N> m{};
  for (int size = 1; size < N; size *= 2) {
    for (int y = size - 1; y >= 0; --y)
      for (int x = size - 1; x >= 0; --x) {
        const int v = 4 * m[y][x];
        m[y][x] = v;
        m[y][x + size] = v + 2;
        m[y + size][x] = v + 3;
        m[y + size][x + size] = v + 1;
      }
  }
  return m;
}

// Cell k of an n x n matrix stands for the level (k + 1/2) / n^2: a tone is bright there when
// it is above (2k + 1) * white / (2 n^2), that is above its floor, tones being integers.
template <int N>
void Ordered(const Canvas& scratch, const ToneTable& map, Canvas& preview, int width, int height,
             bool invert) {
  constexpr auto kMatrix = BayerMatrix<N>();
  std::array<std::array<int, N>, N> limits{};
  for (int y = 0; y < N; ++y)
    for (int x = 0; x < N; ++x) limits[y][x] = (2 * kMatrix[y][x] + 1) * kToneWhite / (2 * N * N);
  const std::uint32_t white = invert ? kBlackWord : kWhiteWord;
  const std::uint32_t black = invert ? kWhiteWord : kBlackWord;
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* in = scratch.Row(y);
    const auto& limit = limits[y % N];
    std::uint32_t* out = preview.Row(y);
    for (int x = 0; x < width; ++x)
      out[x] = map[CubeRootBrightness(in[x])] > limit[x % N] ? white : black;
  }
}

}  // namespace

std::string_view DitherName(Dither method) {
  for (const Named& n : kNames)
    if (n.method == method) return n.name;
  return {};
}

std::optional<Dither> DitherByName(std::string_view name) {
  for (const Named& n : kNames)
    if (n.name == name) return n.method;
  return std::nullopt;
}

std::uint8_t CubeRootBrightness(Colour c) {
  return RoundedCubeRoot(static_cast<std::uint32_t>(Brightness(c & 0xFFFFFF)));
}

std::array<int, 256> ToneMap(int threshold) {
  const int t = ScaledCubeRoot(std::clamp(threshold, kMinThreshold, kMaxThreshold));
  std::array<int, 256> map{};
  for (int v = 0; v < 256; ++v) {
    const int x = v * kToneScale;
    if (x <= t) {
      map[v] = t == 0 ? 0 : DivRound(std::int64_t{x} * kToneMiddle, t);
    } else {
      map[v] =
          kToneMiddle + DivRound(std::int64_t{x - t} * (kToneWhite - kToneMiddle), kToneWhite - t);
    }
  }
  return map;
}

void DitherInto(const Canvas& scratch, Canvas& preview, int width, int height, int threshold,
                bool invert, Dither method) {
  if (method == Dither::kThreshold) {
    ThresholdInto(scratch, preview, width, height, threshold, invert);
    return;
  }
  width = std::min({width, scratch.Width(), preview.Width()});
  height = std::min({height, scratch.Height(), preview.Height()});
  if (width <= 0 || height <= 0) return;
  const ToneTable map = ToneMap(threshold);
  switch (method) {
    case Dither::kFloydSteinberg:
      Diffuse<FloydSteinberg>(scratch, map, preview, width, height, invert);
      break;
    case Dither::kAtkinson:
      Diffuse<Atkinson>(scratch, PressedForAtkinson(map), preview, width, height, invert);
      break;
    case Dither::kBayer4:
      Ordered<4>(scratch, map, preview, width, height, invert);
      break;
    case Dither::kBayer8:
      Ordered<8>(scratch, map, preview, width, height, invert);
      break;
    case Dither::kThreshold:
      break;
  }
  preview.MarkDirty({0, 0, width, height});
}

}  // namespace model
