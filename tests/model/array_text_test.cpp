#include "model/array_text.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using model::BuildArrayText;
using model::PixelStore;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

TEST(ArrayText, ByteToHex) {
  const std::pair<int, const char*> cases[] = {{0, "00"},   {1, "01"},   {9, "09"},   {10, "0A"},
                                               {171, "AB"}, {128, "80"}, {255, "FF"}, {0x5C, "5C"}};
  for (auto [v, hex] : cases) EXPECT_EQ(model::ByteToHex(static_cast<std::uint8_t>(v)), hex);
}

TEST(ArrayText, BytesPerLineFollowsTheWidth) {
  const std::pair<int, int> cases[] = {{4, 4},   {8, 8},   {12, 12}, {16, 8},  {20, 4},  {24, 12},
                                       {84, 12}, {96, 12}, {100, 4}, {128, 8}, {320, 8}, {316, 4}};
  for (auto [w, n] : cases) EXPECT_EQ(model::BytesPerLine(w), n) << w;
}

TEST(ArrayText, ClearEightByEightIsExactlyTwoLines) {
  PixelStore store;
  EXPECT_EQ(BuildArrayText(store, 8, 8),
            "static const char lcd_image_mas[8] =\r\n"
            "{ 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};");
}

TEST(ArrayText, BitOrderWithinAPage) {
  struct Case {
    std::vector<std::pair<int, int>> set;
    const char* firstByte;
  };
  std::vector<std::pair<int, int>> column0;
  for (int y = 0; y < 8; ++y) column0.push_back({0, y});
  const Case cases[] = {{{{0, 0}}, "0x01"},
                        {{{0, 7}}, "0x80"},
                        {column0, "0xFF"},
                        {{{0, 1}, {0, 6}}, "0x42"},
                        {{{0, 8}, {1, 0}}, "0x00"}};  // (0, 8) is page 1, (1, 0) the next byte
  for (const Case& tc : cases) {
    PixelStore store;
    for (auto [x, y] : tc.set) store.Set(x, y, 1);
    const std::string text = BuildArrayText(store, 12, 16);
    EXPECT_EQ(Lines(text)[1].substr(0, 6), std::string("{ ") + tc.firstByte) << tc.firstByte;
  }
}

TEST(ArrayText, PagesTopFirstColumnsLeftToRight) {
  PixelStore store;
  store.Set(1, 0, 1);   // page 0, column 1, bit 0
  store.Set(0, 9, 1);   // page 1, column 0, bit 1
  store.Set(3, 15, 1);  // page 1, column 3, bit 7
  EXPECT_EQ(BuildArrayText(store, 4, 16),
            "static const char lcd_image_mas[8] =\r\n"
            "{ 0x00, 0x01, 0x00, 0x00,\r\n"
            "  0x02, 0x00, 0x00, 0x80};");
}

TEST(ArrayText, LineShapesForEveryWidthClass) {
  struct Case {
    int w, h, perLine;
  };
  for (const Case tc : {Case{4, 8, 4}, {24, 8, 12}, {16, 8, 8}, {20, 16, 4}, {84, 48, 12}}) {
    PixelStore store;
    const std::vector<std::string> lines = Lines(BuildArrayText(store, tc.w, tc.h));
    const int count = tc.w * tc.h / 8;
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(1 + count / tc.perLine)) << tc.w;
    EXPECT_EQ(lines[0], "static const char lcd_image_mas[" + std::to_string(count) + "] =");
    for (std::size_t i = 1; i < lines.size(); ++i) {
      std::string body;
      for (int k = 0; k < tc.perLine; ++k) body += " 0x00,";
      const std::string expected = (i == 1 ? "{" : " ") + body;
      if (i + 1 < lines.size()) {
        EXPECT_EQ(lines[i], expected) << tc.w << " line " << i;
      } else {
        EXPECT_EQ(lines[i], expected.substr(0, expected.size() - 1) + "};") << tc.w;
      }
    }
  }
}

TEST(ArrayText, LargestPicture) {
  PixelStore store;
  for (int x = 0; x < 320; ++x) store.Set(x, 239, 1);  // bottom row: bit 7 of the last page
  const std::string text = BuildArrayText(store, 320, 240);
  const std::vector<std::string> lines = Lines(text);
  EXPECT_EQ(lines.front(), "static const char lcd_image_mas[9600] =");
  ASSERT_EQ(lines.size(), 1201u);
  EXPECT_EQ(lines[1], "{ 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,");
  EXPECT_EQ(lines[1200], "  0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};");
  // Header line and CR LF, "{", the items, a CR LF and space after each line but the last,
  // the last comma dropped, "};".
  EXPECT_EQ(text.size(), 39u + 2 + 1 + 9600 * 6 + 1199 * 3 - 1 + 2);
}

TEST(ArrayText, PixelsOutsideTheSizeNeverReachTheOutput) {
  PixelStore store;
  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 240; ++y) store.Set(x, y, x >= 12 || y >= 8);
  std::string expected = "static const char lcd_image_mas[12] =\r\n{";
  for (int i = 0; i < 12; ++i) expected += " 0x00,";
  expected.back() = '}';
  expected += ";";
  EXPECT_EQ(BuildArrayText(store, 12, 8), expected);
}

}  // namespace
