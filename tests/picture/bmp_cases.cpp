#include "tests/picture/bmp_cases.h"

#include <algorithm>
#include <functional>

#include "tests/picture/bmp_builder.h"

namespace bmptest {
namespace {

using Rows = std::vector<std::string>;
using Pixels = std::vector<std::vector<std::uint32_t>>;

constexpr const char* kNotValid = "Bitmap image is not valid";
constexpr const char* kReadError = "Stream read error";

// The eight basic colours as a palette, in this order.
const std::string kPaletteChars = " #rgbycm";

std::vector<model::Colour> Palette(const std::string& chars) {
  const auto colours = BasicColours();
  std::vector<model::Colour> palette;
  for (char c : chars) palette.push_back(colours.at(c));
  return palette;
}

Pixels Convert(const Rows& rows, const std::function<std::uint32_t(char)>& value) {
  Pixels pixels;
  for (const std::string& row : rows) {
    pixels.emplace_back();
    for (char c : row) pixels.back().push_back(value(c));
  }
  return pixels;
}

Pixels Indices(const Rows& rows, const std::string& chars = kPaletteChars) {
  return Convert(rows, [&](char c) { return static_cast<std::uint32_t>(chars.find(c)); });
}

// A channel of 0 or 255 as `max`.
std::uint32_t Level(std::uint8_t channel, std::uint32_t max) {
  return channel == 255 ? max : 0;
}

// Every basic colour, odd width (row padding), three rows (orientation).
const Rows kColourPicture = {
    "r gb#",
    "ymc r",
    "#  gb",
};

GoodCase Indexed(std::string name, int bitCount, const std::string& chars, const Rows& rows,
                 std::uint32_t headerSize = 40) {
  BmpSpec spec;
  spec.headerSize = headerSize;
  spec.width = static_cast<std::int32_t>(rows[0].size());
  spec.height = static_cast<std::int32_t>(rows.size());
  spec.bitCount = static_cast<std::uint16_t>(bitCount);
  spec.palette = Palette(chars);
  spec.bits = PackRows(Indices(rows, chars), bitCount);
  return {std::move(name), BuildBmp(spec), rows, BasicColours(), bitCount == 1};
}

// A true-colour file of kColourPicture with each pixel stored as `value` gives it.
GoodCase TrueColour(std::string name, BmpSpec spec, const std::function<std::uint32_t(char)>& value,
                    const Rows& rows = kColourPicture) {
  spec.width = static_cast<std::int32_t>(rows[0].size());
  spec.height = static_cast<std::int32_t>(rows.size());
  spec.bits = PackRows(Convert(rows, value), spec.bitCount);
  return {std::move(name), BuildBmp(spec), rows};
}

std::function<std::uint32_t(char)> Stored24() {
  return [colours = BasicColours()](char c) { return Stored(colours.at(c)); };
}

// 16-bit pixels in a mask layout: each channel of a basic colour at 0 or full scale, and 'h' a
// middle value.
std::function<std::uint32_t(char)> Packed16(std::array<int, 3> shifts, std::array<int, 3> widths,
                                            std::uint32_t extra = 0) {
  return [=, colours = BasicColours()](char c) {
    std::uint32_t v = extra;
    for (int i = 0; i < 3; ++i) {
      const std::uint32_t max = (1u << widths[i]) - 1;
      const std::uint8_t channel = c == 'h' ? 0
                                            : (i == 0   ? model::RedOf(colours.at(c))
                                               : i == 1 ? model::GreenOf(colours.at(c))
                                                        : model::BlueOf(colours.at(c)));
      v |= (c == 'h' ? (max + 1) / 2 : Level(channel, max)) << shifts[i];
    }
    return v;
  };
}

const Rows kPicture16 = {
    "r gbh",
    "ymc r",
    "#h gb",
};

BmpSpec Spec(std::uint32_t headerSize, int bitCount, std::uint32_t compression = 0,
             std::vector<std::uint32_t> masks = {}) {
  BmpSpec spec;
  spec.headerSize = headerSize;
  spec.bitCount = static_cast<std::uint16_t>(bitCount);
  spec.compression = compression;
  spec.masks = std::move(masks);
  return spec;
}

// 6 x 4, RLE8: runs, an absolute run with its pad byte, deltas across and down, early end of
// line and end of bitmap. Skipped pixels take palette entry 0 (white).
const std::vector<std::uint8_t> kRle8 = {
    0x03, 0x02, 0x00, 0x03, 0x03, 0x04, 0x03, 0x00, 0x00, 0x00,  // rrrgbg
    0x00, 0x02, 0x02, 0x00, 0x02, 0x04,                          // delta to x 2; bb
    0x00, 0x02, 0x00, 0x01,                                      // delta down to row 2, x 4
    0x02, 0x03, 0x00, 0x00,                                      // gg; end of line
    0x01, 0x04, 0x00, 0x01,                                      // b; end of bitmap
};
const Rows kRlePicture = {
    "b     ",
    "    gg",
    "  bb  ",
    "rrrgbg",
};

// 5 x 2, RLE4: an alternating run, an absolute run of 5 nibbles padded to a word.
const std::vector<std::uint8_t> kRle4 = {
    0x05, 0x23, 0x00, 0x00,              // r g r g r
    0x00, 0x05, 0x42, 0x34, 0x20, 0x00,  // b r g b r
    0x00, 0x01,
};
const Rows kRle4Picture = {
    "brgbr",
    "rgrgr",
};

BmpSpec RleSpec(std::uint32_t compression, int width, int height, std::vector<std::uint8_t> bits) {
  BmpSpec spec = Spec(40, compression == 1 ? 8 : 4, compression);
  spec.width = width;
  spec.height = height;
  spec.palette = Palette(kPaletteChars);
  spec.bits = std::move(bits);
  return spec;
}

std::vector<std::uint8_t> ValidFile() {
  BmpSpec spec = Spec(40, 8);
  spec.width = 5;
  spec.height = 3;
  spec.palette = Palette(kPaletteChars);
  spec.bits = PackRows(Indices(kColourPicture), 8);
  return BuildBmp(spec);
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> file, std::size_t size) {
  file.resize(size);
  return file;
}

}  // namespace

std::map<char, model::Colour> BasicColours() {
  return {{' ', model::kWhite},           {'#', model::kBlack},
          {'r', model::Rgb(255, 0, 0)},   {'g', model::Rgb(0, 255, 0)},
          {'b', model::Rgb(0, 0, 255)},   {'y', model::Rgb(255, 255, 0)},
          {'c', model::Rgb(0, 255, 255)}, {'m', model::Rgb(255, 0, 255)}};
}

std::vector<GoodCase> GoodCases() {
  std::vector<GoodCase> cases;
  const Rows twoColour = {"# # #  ##", " ### #  #"};  // 9 wide: a second byte a row
  const Rows fourColour = {"rg #r", "# gr ", "  g#r"};

  cases.push_back(Indexed("info_1bpp", 1, "# ", twoColour));
  cases.push_back(Indexed("info_1bpp_white_first", 1, " #", twoColour));
  cases.push_back(Indexed("info_2bpp", 2, " #rg", fourColour));
  cases.push_back(Indexed("info_4bpp", 4, kPaletteChars, kColourPicture));
  cases.push_back(Indexed("info_8bpp", 8, kPaletteChars, kColourPicture));
  cases.push_back(Indexed("core_1bpp", 1, "# ", twoColour, 12));
  cases.push_back(Indexed("core_4bpp", 4, kPaletteChars, kColourPicture, 12));
  // The core header's table ends where the bits start: 8 of 256 entries.
  cases.push_back(Indexed("core_8bpp_short_table", 8, kPaletteChars, kColourPicture, 12));
  cases.push_back(Indexed("os2v2_16_8bpp", 8, kPaletteChars, kColourPicture, 16));
  cases.push_back(Indexed("os2v2_64_4bpp", 4, kPaletteChars, kColourPicture, 64));
  cases.push_back(Indexed("v4_108_8bpp", 8, kPaletteChars, kColourPicture, 108));
  cases.push_back(Indexed("v5_124_4bpp", 4, kPaletteChars, kColourPicture, 124));

  {  // A full 256-entry table given as "0 colours used".
    BmpSpec spec = Spec(40, 8);
    spec.width = 5;
    spec.height = 3;
    spec.palette = Palette(kPaletteChars);
    spec.palette.resize(256, model::Rgb(1, 2, 3));
    spec.colorsUsed = 0;
    spec.bits = PackRows(Indices(kColourPicture), 8);
    cases.push_back({"info_8bpp_colours_used_0", BuildBmp(spec), kColourPicture});
  }
  {
    BmpSpec spec = Spec(40, 8);
    spec.width = 5;
    spec.height = -3;
    spec.palette = Palette(kPaletteChars);
    spec.bits = PackRows(Indices(kColourPicture), 8, true);
    cases.push_back({"info_8bpp_top_down", BuildBmp(spec), kColourPicture});
  }
  {  // The core header's table has no count: 2^8 entries unless the bits start sooner.
    BmpSpec spec = Spec(12, 8);
    spec.width = 5;
    spec.height = 3;
    spec.palette = Palette(kPaletteChars);
    spec.palette.resize(256, model::Rgb(1, 2, 3));
    spec.bits = PackRows(Indices(kColourPicture), 8);
    cases.push_back({"core_8bpp_full_table", BuildBmp(spec), kColourPicture});
  }
  {  // Indices beyond a 3-entry table are black.
    BmpSpec spec = Spec(40, 8);
    spec.width = 5;
    spec.height = 1;
    spec.palette = Palette(" r#");
    spec.bits = PackRows({{0, 1, 3, 200, 255}}, 8);
    cases.push_back({"palette_shorter_than_depth", BuildBmp(spec), {" r###"}});
  }
  {  // 300 entries for 8 bits: the first 256 count, the bits follow all 300.
    BmpSpec spec = Spec(40, 8);
    spec.width = 5;
    spec.height = 3;
    spec.palette = Palette(kPaletteChars);
    spec.palette.resize(300, model::Rgb(9, 9, 9));
    spec.bits = PackRows(Indices(kColourPicture), 8);
    cases.push_back({"palette_longer_than_depth_8bpp", BuildBmp(spec), kColourPicture});
  }
  {
    BmpSpec spec = Spec(40, 1);
    spec.width = 9;
    spec.height = 2;
    spec.palette = Palette(" #rg");
    spec.bits = PackRows(Indices(twoColour, " #"), 1);
    cases.push_back(
        {"palette_longer_than_depth_1bpp", BuildBmp(spec), twoColour, BasicColours(), true});
  }
  {  // An absurd colour count: the table ends at the bits.
    BmpSpec spec = Spec(40, 8);
    spec.width = 5;
    spec.height = 3;
    spec.palette = Palette(kPaletteChars);
    spec.colorsUsed = 0xFFFFFFFF;
    spec.bits = PackRows(Indices(kColourPicture), 8);
    cases.push_back({"colours_used_absurd", BuildBmp(spec), kColourPicture});
  }

  cases.push_back(TrueColour("info_24bpp", Spec(40, 24), Stored24()));
  cases.push_back(TrueColour("core_24bpp", Spec(12, 24), Stored24()));
  {
    BmpSpec spec = Spec(40, 24);
    spec.width = 5;
    spec.height = -3;
    spec.bits = PackRows(Convert(kColourPicture, Stored24()), 24, true);
    cases.push_back({"info_24bpp_top_down", BuildBmp(spec), kColourPicture});
  }
  {  // Unused bytes between the table and the bits; a wrong file size and image size.
    BmpSpec spec = Spec(40, 24);
    spec.gap = 10;
    spec.fileSize = 26;
    spec.sizeImage = 0xFFFFFFF0;
    spec.palette = Palette("rgb");
    cases.push_back(TrueColour("info_24bpp_gap_and_wrong_sizes", spec, Stored24()));
  }
  // 32 bits, default layout B, G, R, X: the X byte is ignored.
  cases.push_back(TrueColour("info_32bpp", Spec(40, 32),
                             [f = Stored24()](char c) { return f(c) | 0x80000000u; }));
  cases.push_back(TrueColour("v5_124_32bpp_rgb_ignores_masks",
                             Spec(124, 32, 0, {0xFF, 0xFF00, 0xFF0000, 0}), Stored24()));
  // 32-bit fields in other orders; the colour value 0x00BBGGRR is R, G, B, X.
  cases.push_back(TrueColour("bitfields_32_rgbx", Spec(40, 32, 3, {0xFF, 0xFF00, 0xFF0000}),
                             [colours = BasicColours()](char c) { return colours.at(c); }));
  cases.push_back(TrueColour("alphabitfields_32_rgba",
                             Spec(40, 32, 6, {0xFF000000, 0xFF0000, 0xFF00, 0xFF}),
                             [f = Stored24()](char c) { return f(c) << 8 | 0x7F; }));
  cases.push_back(TrueColour("v2_52_bitfields_32_xbgr",
                             Spec(52, 32, 3, {0xFF00, 0xFF0000, 0xFF000000}),
                             [colours = BasicColours()](char c) { return colours.at(c) << 8; }));

  // 16 bits: the default 5-5-5 (top bit ignored), 5-6-5 and 4-4-4-4 fields. A middle level
  // scales to the nearest of 0..255: 16/31 -> 132, 32/63 -> 130, 8/15 -> 136.
  auto with = [](char c, model::Colour colour) {
    auto colours = BasicColours();
    colours[c] = colour;
    return colours;
  };
  {
    GoodCase c = TrueColour("info_16bpp_555", Spec(40, 16), Packed16({10, 5, 0}, {5, 5, 5}, 0x8000),
                            kPicture16);
    c.colours = with('h', model::Rgb(132, 132, 132));
    cases.push_back(std::move(c));
  }
  {
    GoodCase c = TrueColour("bitfields_16_565", Spec(40, 16, 3, {0xF800, 0x07E0, 0x001F}),
                            Packed16({11, 5, 0}, {5, 6, 5}), kPicture16);
    c.colours = with('h', model::Rgb(132, 130, 132));
    cases.push_back(std::move(c));
  }
  {
    GoodCase c = TrueColour("v4_108_bitfields_16_565", Spec(108, 16, 3, {0xF800, 0x07E0, 0x001F}),
                            Packed16({11, 5, 0}, {5, 6, 5}), kPicture16);
    c.colours = with('h', model::Rgb(132, 130, 132));
    cases.push_back(std::move(c));
  }
  {
    GoodCase c = TrueColour("v3_56_alphabitfields_16_4444",
                            Spec(56, 16, 6, {0x0F00, 0x00F0, 0x000F, 0xF000}),
                            Packed16({8, 4, 0}, {4, 4, 4}, 0xA000), kPicture16);
    c.colours = with('h', model::Rgb(136, 136, 136));
    cases.push_back(std::move(c));
  }

  cases.push_back({"rle8", BuildBmp(RleSpec(1, 6, 4, kRle8)), kRlePicture});
  cases.push_back({"rle4", BuildBmp(RleSpec(2, 5, 2, kRle4)), kRle4Picture});
  {  // No end of bitmap, the stream stops inside an absolute run: the rest is entry 0.
    const std::vector<std::uint8_t> bits = {0x02, 0x02, 0x00, 0x04, 0x03, 0x04};
    cases.push_back({"rle8_cut_short", BuildBmp(RleSpec(1, 6, 2, bits)), {"      ", "rrgb  "}});
  }
  {  // Bits cut short: what is missing reads as zero bytes, so black, then palette entry 0.
    BmpSpec spec = Spec(40, 24);
    spec.width = 2;
    spec.height = 2;
    spec.bits = PackRows({{0xFFFFFF, 0x00FF00}, {0x0000FF, 0xFFFFFF}}, 24);
    spec.bits.resize(8 + 2);  // the bottom row, and B and G of the top row's white
    cases.push_back({"info_24bpp_cut_short", BuildBmp(spec), {"c#", "b "}});
  }
  {
    BmpSpec spec = Spec(40, 8);
    spec.width = 4;
    spec.height = 3;
    spec.palette = Palette(kPaletteChars);
    spec.bits = PackRows(Indices({"#rgb", "rgb#", "gb#r"}), 8);
    spec.bits.resize(4 + 2);
    cases.push_back({"info_8bpp_cut_short", BuildBmp(spec), {"    ", "rg  ", "gb#r"}});
  }
  {  // Only the file header and the info header: every pixel is entry 0.
    BmpSpec spec = Spec(40, 4);
    spec.width = 3;
    spec.height = 2;
    spec.palette = Palette("r#");
    cases.push_back({"no_bits_at_all", BuildBmp(spec), {"rrr", "rrr"}});
  }
  return cases;
}

std::vector<BadCase> BadCases() {
  std::vector<BadCase> cases;
  const std::vector<std::uint8_t> valid = ValidFile();
  for (std::size_t n = 1; n <= 13; ++n)
    cases.push_back({"file_of_" + std::to_string(n) + "_bytes", Cut(valid, n), kReadError});
  cases.push_back({"header_size_cut_short", Cut(valid, 16), kReadError});
  cases.push_back({"header_cut_short", Cut(valid, 14 + 30), kReadError});
  cases.push_back({"palette_cut_short", Cut(valid, 14 + 40 + 4 * 8 - 1), kReadError});

  // The valid file with some bytes replaced.
  auto edit = [&](std::string name, std::size_t at, std::vector<std::uint8_t> bytes,
                  const char* message) {
    std::vector<std::uint8_t> file = valid;
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
    cases.push_back({std::move(name), std::move(file), message});
  };
  edit("signature_BA", 0, {'B', 'A'}, kNotValid);
  edit("signature_bm", 0, {'b', 'm'}, kNotValid);
  edit("planes_0", 26, {0, 0}, kNotValid);
  edit("planes_2", 26, {2, 0}, kNotValid);
  edit("header_size_66", 14, {66, 0, 0, 0}, kNotValid);
  edit("header_size_0", 14, {0, 0, 0, 0}, kNotValid);
  edit("header_size_huge", 14, {0xF0, 0xFF, 0xFF, 0xFF}, kNotValid);
  edit("width_0", 18, {0, 0, 0, 0}, kNotValid);
  edit("width_negative", 18, {0xFB, 0xFF, 0xFF, 0xFF}, kNotValid);
  edit("height_0", 22, {0, 0, 0, 0}, kNotValid);
  edit("height_int_min", 22, {0, 0, 0, 0x80}, kNotValid);
  // 10001 x 10000 is just above the 100-megapixel limit.
  edit("above_100_megapixels", 18, {0x11, 0x27, 0, 0, 0x10, 0x27, 0, 0}, kNotValid);
  edit("huge_width_and_height", 18, {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F}, kNotValid);
  edit("huge_top_down", 18, {0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0, 0, 0x80}, kNotValid);
  edit("bitcount_0", 28, {0, 0}, kNotValid);
  edit("bitcount_3", 28, {3, 0}, kNotValid);
  edit("bitcount_64", 28, {64, 0}, kNotValid);
  edit("bitcount_huge", 28, {0xFF, 0xFF}, kNotValid);
  edit("compression_jpeg", 30, {4, 0, 0, 0}, kNotValid);
  edit("compression_png", 30, {5, 0, 0, 0}, kNotValid);
  edit("compression_99", 30, {99, 0, 0, 0}, kNotValid);
  edit("rle4_at_8bpp", 30, {2, 0, 0, 0}, kNotValid);
  edit("bitfields_at_8bpp", 30, {3, 0, 0, 0}, kNotValid);
  edit("bits_offset_past_end", 10, {0x00, 0x10, 0, 0}, kNotValid);
  edit("bits_offset_huge", 10, {0xFF, 0xFF, 0xFF, 0xFF}, kNotValid);
  edit("bits_offset_inside_header", 10, {20, 0, 0, 0}, kNotValid);
  edit("bits_offset_0", 10, {0, 0, 0, 0}, kNotValid);

  {
    BmpSpec spec = Spec(12, 16);
    spec.width = 1;
    spec.height = 1;
    spec.bits = {0, 0, 0, 0};
    cases.push_back({"core_16bpp", BuildBmp(spec), kNotValid});
    spec.bitCount = 8;
    spec.planes = 3;
    cases.push_back({"core_planes_3", BuildBmp(spec), kNotValid});
    spec.planes = 1;
    spec.palette = Palette(kPaletteChars);
    cases.push_back(
        {"core_palette_cut_short", Cut(BuildBmp(spec), 14 + 12 + 3 * 8 - 2), kReadError});
  }
  {
    BmpSpec spec = Spec(40, 32, 3, {0xFF0000, 0xFF00, 0xFF});
    spec.width = 1;
    spec.height = 1;
    spec.bits = {1, 2, 3, 4};
    cases.push_back({"masks_cut_short", Cut(BuildBmp(spec), 14 + 40 + 6), kReadError});
    spec.bitCount = 24;
    cases.push_back({"bitfields_at_24bpp", BuildBmp(spec), kNotValid});
    spec.bitCount = 0;
    spec.compression = 5;
    cases.push_back({"embedded_png", BuildBmp(spec), kNotValid});
    spec.headerSize = 64;
    spec.bitCount = 1;
    spec.compression = 3;
    cases.push_back({"os2v2_huffman", BuildBmp(spec), kNotValid});
    spec.bitCount = 24;
    spec.compression = 4;
    cases.push_back({"os2v2_rle24", BuildBmp(spec), kNotValid});
  }

  // RLE streams that leave the 4 x 2 picture.
  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> rle8 = {
      {"rle8_run_past_row_end", {0x05, 0x01}},
      {"rle8_run_after_row_end", {0x04, 0x01, 0x01, 0x01}},
      {"rle8_absolute_past_row_end", {0x00, 0x05, 1, 2, 3, 4, 5, 0}},
      {"rle8_delta_past_right", {0x00, 0x02, 0x05, 0x00, 0x01, 0x01}},
      {"rle8_delta_past_top", {0x00, 0x02, 0x00, 0x03}},
      {"rle8_pixels_after_last_row", {0x00, 0x00, 0x00, 0x00, 0x01, 0x01}},
  };
  for (const auto& [name, bits] : rle8)
    cases.push_back({name, BuildBmp(RleSpec(1, 4, 2, bits)), kNotValid});
  cases.push_back({"rle4_run_past_row_end", BuildBmp(RleSpec(2, 4, 2, {0x05, 0x12})), kNotValid});
  cases.push_back({"rle4_absolute_past_row_end",
                   BuildBmp(RleSpec(2, 4, 2, {0x00, 0x05, 0x12, 0x34, 0x50, 0})), kNotValid});
  cases.push_back({"rle8_top_down", BuildBmp(RleSpec(1, 6, -4, kRle8)), kNotValid});
  return cases;
}

}  // namespace bmptest
