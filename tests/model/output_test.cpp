#include "model/output.h"

#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "model/array_text.h"

namespace {

using model::ElementType;
using model::Format;
using model::Layout;
using model::OutputOptions;
using model::PixelStore;

using Pixels = std::vector<std::pair<int, int>>;
using Sparse = std::map<int, int>;  // byte index -> value; every other byte is 0

PixelStore StoreWith(const Pixels& pixels) {
  PixelStore store;
  for (auto [x, y] : pixels) store.Set(x, y, 1);
  return store;
}

std::vector<std::uint8_t> Expand(const Sparse& sparse, int count, std::uint8_t rest = 0) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count), rest);
  for (auto [i, v] : sparse) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
  return bytes;
}

// Designated initialisers that leave members out would warn.
model::ParseHints Hints(std::optional<int> width, std::optional<int> height = {},
                        std::optional<Layout> layout = {}, std::optional<bool> invert = {}) {
  model::ParseHints hints;
  hints.width = width;
  hints.height = height;
  hints.layout = layout;
  hints.invert = invert;
  return hints;
}

std::string Lf(std::string text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

// Hand-worked bytes: one pixel in each corner, both diagonals, widths 4, 12, 20 and 320,
// heights 8 and 240, in the order page-lsb, page-msb, rows-msb, rows-lsb.
TEST(Output, LayoutsAgainstHandWorkedBytes) {
  struct Case {
    const char* what;
    int w, h;
    Pixels set;
    Sparse bytes[4];
  };
  Pixels diagonal, anti;
  for (int i = 0; i < 8; ++i) {
    diagonal.push_back({i, i});
    anti.push_back({i, 7 - i});
  }
  const Case cases[] = {
      {"top left", 12, 16, {{0, 0}}, {{{0, 0x01}}, {{0, 0x80}}, {{0, 0x80}}, {{0, 0x01}}}},
      {"top right", 12, 16, {{11, 0}}, {{{11, 0x01}}, {{11, 0x80}}, {{1, 0x10}}, {{1, 0x08}}}},
      {"bottom left", 12, 16, {{0, 15}}, {{{12, 0x80}}, {{12, 0x01}}, {{30, 0x80}}, {{30, 0x01}}}},
      {"bottom right",
       12,
       16,
       {{11, 15}},
       {{{23, 0x80}}, {{23, 0x01}}, {{31, 0x10}}, {{31, 0x08}}}},
      {"diagonal",
       8,
       8,
       diagonal,
       {{{0, 0x01}, {1, 0x02}, {2, 0x04}, {3, 0x08}, {4, 0x10}, {5, 0x20}, {6, 0x40}, {7, 0x80}},
        {{0, 0x80}, {1, 0x40}, {2, 0x20}, {3, 0x10}, {4, 0x08}, {5, 0x04}, {6, 0x02}, {7, 0x01}},
        {{0, 0x80}, {1, 0x40}, {2, 0x20}, {3, 0x10}, {4, 0x08}, {5, 0x04}, {6, 0x02}, {7, 0x01}},
        {{0, 0x01}, {1, 0x02}, {2, 0x04}, {3, 0x08}, {4, 0x10}, {5, 0x20}, {6, 0x40}, {7, 0x80}}}},
      {"anti-diagonal",
       8,
       8,
       anti,
       {{{0, 0x80}, {1, 0x40}, {2, 0x20}, {3, 0x10}, {4, 0x08}, {5, 0x04}, {6, 0x02}, {7, 0x01}},
        {{0, 0x01}, {1, 0x02}, {2, 0x04}, {3, 0x08}, {4, 0x10}, {5, 0x20}, {6, 0x40}, {7, 0x80}},
        {{0, 0x01}, {1, 0x02}, {2, 0x04}, {3, 0x08}, {4, 0x10}, {5, 0x20}, {6, 0x40}, {7, 0x80}},
        {{0, 0x80}, {1, 0x40}, {2, 0x20}, {3, 0x10}, {4, 0x08}, {5, 0x04}, {6, 0x02}, {7, 0x01}}}},
      {"width 4", 4, 8, {{3, 2}}, {{{3, 0x04}}, {{3, 0x20}}, {{2, 0x10}}, {{2, 0x08}}}},
      {"width 20", 20, 8, {{19, 5}}, {{{19, 0x20}}, {{19, 0x04}}, {{17, 0x10}}, {{17, 0x08}}}},
      {"width 4 height 240",
       4,
       240,
       {{1, 239}},
       {{{117, 0x80}}, {{117, 0x01}}, {{239, 0x40}}, {{239, 0x02}}}},
      {"largest",
       320,
       240,
       {{319, 239}, {200, 100}, {0, 0}},
       {{{9599, 0x80}, {4040, 0x10}, {0, 0x01}},
        {{9599, 0x01}, {4040, 0x08}, {0, 0x80}},
        {{9599, 0x01}, {4025, 0x80}, {0, 0x80}},
        {{9599, 0x80}, {4025, 0x01}, {0, 0x01}}}},
      // Two pixels of one row in one byte, and one just past a byte's edge.
      {"row bits",
       20,
       8,
       {{8, 1}, {9, 1}, {16, 1}},
       {{{8, 0x02}, {9, 0x02}, {16, 0x02}},
        {{8, 0x40}, {9, 0x40}, {16, 0x40}},
        {{4, 0xC0}, {5, 0x80}},
        {{4, 0x03}, {5, 0x01}}}},
  };
  for (const Case& tc : cases) {
    const PixelStore store = StoreWith(tc.set);
    for (std::size_t l = 0; l < 4; ++l) {
      const Layout layout = model::kLayouts[l];
      const int count = model::ByteCount(tc.w, tc.h, layout);
      EXPECT_EQ(model::PackBytes(store, tc.w, tc.h, layout, false), Expand(tc.bytes[l], count))
          << tc.what << ' ' << model::LayoutName(layout);
    }
  }
}

TEST(Output, ByteCountPadsRowsToWholeBytes) {
  struct Case {
    int w, h, page, rows;
  };
  for (const Case tc : {Case{4, 8, 4, 8},
                        {8, 8, 8, 8},
                        {12, 16, 24, 32},
                        {20, 8, 20, 24},
                        {84, 48, 504, 528},
                        {320, 240, 9600, 9600},
                        {316, 240, 9480, 9600}}) {
    EXPECT_EQ(model::ByteCount(tc.w, tc.h, Layout::PageLsb), tc.page) << tc.w;
    EXPECT_EQ(model::ByteCount(tc.w, tc.h, Layout::PageMsb), tc.page) << tc.w;
    EXPECT_EQ(model::ByteCount(tc.w, tc.h, Layout::RowsMsb), tc.rows) << tc.w;
    EXPECT_EQ(model::ByteCount(tc.w, tc.h, Layout::RowsLsb), tc.rows) << tc.w;
  }
}

TEST(Output, InvertFlipsPixelBitsButNotThePadding) {
  const PixelStore store = StoreWith({{0, 0}});
  const std::pair<Layout, std::vector<std::uint8_t>> cases[] = {
      {Layout::PageLsb, Expand({{0, 0xFE}}, 12, 0xFF)},
      {Layout::PageMsb, Expand({{0, 0x7F}}, 12, 0xFF)},
      {Layout::RowsMsb,
       {0x7F, 0xF0, 0xFF, 0xF0, 0xFF, 0xF0, 0xFF, 0xF0, 0xFF, 0xF0, 0xFF, 0xF0, 0xFF, 0xF0, 0xFF,
        0xF0}},
      {Layout::RowsLsb,
       {0xFE, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0xFF,
        0x0F}},
  };
  for (const auto& [layout, bytes] : cases)
    EXPECT_EQ(model::PackBytes(store, 12, 8, layout, true), bytes) << model::LayoutName(layout);
}

TEST(Output, PixelsOutsideTheSizeNeverReachTheBytes) {
  PixelStore store;
  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 240; ++y) store.Set(x, y, x >= 12 || y >= 8);
  for (Layout layout : model::kLayouts) {
    const std::vector<std::uint8_t> bytes = model::PackBytes(store, 12, 8, layout, false);
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(bytes.size(), 0)) << model::LayoutName(layout);
  }
}

// Random pictures of random sizes (a fixed seed) survive bytes and back in every layout, with
// and without invert, and unpacking leaves the store outside the size alone.
TEST(Output, RandomPicturesRoundTripInEveryLayout) {
  std::mt19937 random(20261208);
  std::vector<std::pair<int, int>> sizes = {{4, 8}, {320, 240}, {12, 240}, {316, 8}, {84, 48}};
  for (int i = 0; i < 40; ++i)
    sizes.push_back(
        {4 * static_cast<int>(1 + random() % 80), 8 * static_cast<int>(1 + random() % 30)});
  for (auto [w, h] : sizes) {
    PixelStore store;
    for (int x = 0; x < 320; ++x)
      for (int y = 0; y < 240; ++y) store.Set(x, y, random() & 1);
    for (Layout layout : model::kLayouts) {
      for (bool invert : {false, true}) {
        const std::vector<std::uint8_t> bytes = model::PackBytes(store, w, h, layout, invert);
        ASSERT_EQ(static_cast<int>(bytes.size()), model::ByteCount(w, h, layout));
        PixelStore back;
        // A marker outside the size must survive.
        if (w < 320) {
          back.Set(w, 0, 1);
        }
        model::UnpackBytes(bytes, w, h, layout, invert, back);
        int wrong = 0;
        for (int x = 0; x < w; ++x)
          for (int y = 0; y < h; ++y) wrong += back.Get(x, y) != store.Get(x, y);
        EXPECT_EQ(wrong, 0) << w << 'x' << h << ' ' << model::LayoutName(layout) << invert;
        if (w < 320) {
          EXPECT_EQ(back.Get(w, 0), 1) << w;
        }
        // The same picture read from the file text.
        OutputOptions options;
        options.layout = layout;
        options.invert = invert;
        const model::ParsedPicture parsed =
            model::ParseOutputText(model::BuildFileText(store, w, h, options));
        EXPECT_EQ(parsed.width, w);
        EXPECT_EQ(parsed.height, h);
        EXPECT_EQ(parsed.layout, layout);
        EXPECT_EQ(parsed.invert, invert);
        EXPECT_EQ(parsed.bytes, bytes) << w << 'x' << h << ' ' << model::LayoutName(layout);
      }
    }
  }
}

TEST(Output, UnpackRefusesAWrongByteCount) {
  PixelStore store;
  const std::vector<std::uint8_t> bytes(24);
  EXPECT_THROW(model::UnpackBytes(bytes, 20, 8, Layout::PageLsb, false, store), model::ParseError);
  EXPECT_NO_THROW(model::UnpackBytes(bytes, 20, 8, Layout::RowsMsb, false, store));
}

TEST(Output, DefaultsGiveTheClassicTextByteForByte) {
  const PixelStore store = StoreWith({{1, 0}, {0, 9}, {3, 15}});
  const std::string classic =
      "static const char lcd_image_mas[8] =\r\n"
      "{ 0x00, 0x01, 0x00, 0x00,\r\n"
      "  0x02, 0x00, 0x00, 0x80};";
  EXPECT_EQ(model::BuildOutputText(store, 4, 16, OutputOptions{}), classic);
  EXPECT_EQ(model::BuildArrayText(store, 4, 16), classic);
  EXPECT_EQ(model::BuildFileText(store, 4, 16, OutputOptions{}),
            "/* 4x16 page-lsb */\n" + Lf(classic) + "\n");
  // A random largest picture: the classic rule written out independently.
  std::mt19937 random(7);
  PixelStore big;
  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 240; ++y) big.Set(x, y, random() & 1);
  for (auto [w, h] : {std::pair{320, 240}, {84, 48}, {20, 8}}) {
    std::string expected =
        "static const char lcd_image_mas[" + std::to_string(w * h / 8) + "] =\r\n{";
    int c = 1;
    for (int page = 0; page < h / 8; ++page) {
      for (int x = 0; x < w; ++x, ++c) {
        int byte = 0;
        for (int k = 0; k < 8; ++k) byte |= big.Get(x, page * 8 + k) << k;
        expected += " 0x" + model::ByteToHex(static_cast<std::uint8_t>(byte)) + ",";
        if (c % model::BytesPerLine(w) == 0) expected += "\r\n ";
      }
    }
    expected.resize(expected.size() - 4);
    expected += "};";
    EXPECT_EQ(model::BuildOutputText(big, w, h, OutputOptions{}), expected) << w;
  }
}

TEST(Output, CodeShapes) {
  const PixelStore store = StoreWith({{0, 0}, {11, 1}});
  struct Case {
    const char* what;
    OutputOptions options;
    const char* text;  // LF shown; the window's text has CR LF
  };
  OutputOptions uint8;
  uint8.type = ElementType::Uint8;
  uint8.name = "logo";
  OutputOptions progmem;
  progmem.type = ElementType::Progmem;
  progmem.defines = true;
  progmem.bytesPerLine = 16;
  OutputOptions art;
  art.art = true;
  art.layout = Layout::RowsMsb;
  art.invert = true;
  OutputOptions lines5;
  lines5.layout = Layout::PageMsb;
  lines5.bytesPerLine = 5;
  const Case cases[] = {
      {"uint8", uint8,
       "#include <stdint.h>\n"
       "static const uint8_t logo[12] =\n"
       "{ 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02};"},
      {"progmem with defines", progmem,
       "#include <stdint.h>\n"
       "#include <avr/pgmspace.h>\n"
       "#define lcd_image_mas_WIDTH 12\n"
       "#define lcd_image_mas_HEIGHT 8\n"
       "static const uint8_t lcd_image_mas[12] PROGMEM =\n"
       "{ 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02};"},
      {"art, rows, invert", art,
       "/*\n"
       " * #...........\n"
       " * ...........#\n"
       " * ............\n"
       " * ............\n"
       " * ............\n"
       " * ............\n"
       " * ............\n"
       " * ............\n"
       " */\n"
       "/* Each row of 12 pixels takes 2 bytes: its last 4 bits are zero padding. */\n"
       "/* Inverted: a set pixel is a 0 bit. */\n"
       "static const char lcd_image_mas[16] =\n"
       "{ 0x7F, 0xF0, 0xFF, 0xE0, 0xFF, 0xF0, 0xFF, 0xF0, 0xFF, 0xF0, 0xFF, 0xF0,\n"
       "  0xFF, 0xF0, 0xFF, 0xF0};"},
      {"five a line, last line short", lines5,
       "static const char lcd_image_mas[12] =\n"
       "{ 0x80, 0x00, 0x00, 0x00, 0x00,\n"
       "  0x00, 0x00, 0x00, 0x00, 0x00,\n"
       "  0x00, 0x40};"},
  };
  for (const Case& tc : cases) {
    const std::string window = model::BuildOutputText(store, 12, 8, tc.options);
    EXPECT_EQ(Lf(window), tc.text) << tc.what;
    EXPECT_EQ(window.find('\n'), window.find("\r\n") + 1) << tc.what;
    EXPECT_EQ(window.back(), ';') << tc.what;
  }
}

TEST(Output, XbmAndBin) {
  const PixelStore store = StoreWith({{0, 0}, {11, 1}});
  OutputOptions xbm;
  xbm.format = Format::Xbm;
  xbm.name = "icon";
  xbm.layout = Layout::PageMsb;  // an X bitmap has one layout of its own
  const char* expected =
      "#define icon_width 12\n"
      "#define icon_height 8\n"
      "static unsigned char icon_bits[] = {\n"
      "   0x01, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,\n"
      "   0x00, 0x00, 0x00, 0x00 };\n";
  EXPECT_EQ(model::BuildFileText(store, 12, 8, xbm), expected);
  EXPECT_EQ(Lf(model::BuildOutputText(store, 12, 8, xbm)) + "\n", expected);

  OutputOptions bin;
  bin.format = Format::Bin;
  bin.layout = Layout::RowsLsb;
  EXPECT_EQ(model::BuildFileText(store, 12, 8, bin),
            std::string("\x01\x00\x00\x08", 4) + std::string(12, '\0'));
  bin.bytesPerLine = 8;
  EXPECT_EQ(model::BuildOutputText(store, 12, 8, bin),
            "01 00 00 08 00 00 00 00\r\n00 00 00 00 00 00 00 00");
}

TEST(Output, NamesAndOptionsAreChecked) {
  for (const char* name : {"lcd_image_mas", "_x", "Logo2", "a", "uint8_t", "PROGMEM_"})
    EXPECT_TRUE(model::IsValidIdentifier(name)) << name;
  for (const char* name :
       {"", "2logo", "my-logo", "my logo", "int", "static", "while", "char", "имя", "logo.h", "a$"})
    EXPECT_FALSE(model::IsValidIdentifier(name)) << name;

  OutputOptions bad;
  bad.name = "my-logo";
  try {
    model::BuildOutputText(PixelStore(), 8, 8, bad);
    ADD_FAILURE() << "a bad name was taken";
  } catch (const model::OptionError& e) {
    EXPECT_NE(std::string(e.what()).find("«my-logo»"), std::string::npos) << e.what();
  }
  bad.format = Format::Bin;
  EXPECT_THROW(model::BuildFileText(PixelStore(), 8, 8, bad), model::OptionError);
  for (int perLine : {-1, 257}) {
    OutputOptions options;
    options.bytesPerLine = perLine;
    EXPECT_THROW(model::ValidateOptions(options), model::OptionError) << perLine;
  }
  OutputOptions widest;
  widest.bytesPerLine = 256;
  EXPECT_NO_THROW(model::ValidateOptions(widest));
}

TEST(Output, CommandLineNames) {
  for (Layout layout : model::kLayouts)
    EXPECT_EQ(model::ParseLayout(model::LayoutName(layout)), layout);
  for (Format format : model::kFormats)
    EXPECT_EQ(model::ParseFormat(model::FormatName(format)), format);
  for (ElementType type : model::kElementTypes)
    EXPECT_EQ(model::ParseElementType(model::ElementTypeName(type)), type);
  EXPECT_EQ(model::LayoutName(Layout::RowsMsb), "rows-msb");
  EXPECT_EQ(model::FormatName(Format::Xbm), "xbm");
  EXPECT_EQ(model::ElementTypeName(ElementType::Progmem), "progmem");
  try {
    model::ParseLayout("PAGE-LSB");
    ADD_FAILURE() << "upper case was taken";
  } catch (const model::OptionError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("«PAGE-LSB»"), std::string::npos) << message;
    EXPECT_NE(message.find("page-lsb, page-msb, rows-msb, rows-lsb"), std::string::npos);
  }
  EXPECT_THROW(model::ParseFormat("h"), model::OptionError);
  EXPECT_THROW(model::ParseElementType("uint8_t"), model::OptionError);
  EXPECT_THROW(model::ParseLayout(""), model::OptionError);
}

TEST(Output, IdentifierFromStem) {
  const std::pair<const char*, const char*> cases[] = {
      {"logo-2", "logo_2"},   {"my logo.v2", "my_logo_v2"},
      {"2logo", "img_2logo"}, {"int", "int_"},
      {"", "image"},          {"---", "image"},
      {"картинка", "image"},  {"лого-1", "img_1"},
      {"a--b", "a_b"},        {"-x-", "x"},
      {"_ok", "_ok"},         {"Logo", "Logo"}};
  for (auto [stem, name] : cases) {
    EXPECT_EQ(model::IdentifierFromStem(stem), name) << stem;
    EXPECT_TRUE(model::IsValidIdentifier(model::IdentifierFromStem(stem))) << stem;
  }
}

// Every C shape and the X bitmap read back to the same bytes, size and layout.
TEST(Output, EveryShapeReadsBack) {
  std::mt19937 random(3);
  PixelStore store;
  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 240; ++y) store.Set(x, y, random() & 1);
  const int w = 20, h = 16;
  for (Layout layout : model::kLayouts) {
    for (ElementType type : model::kElementTypes) {
      for (int flags = 0; flags < 4; ++flags) {
        OutputOptions options;
        options.layout = layout;
        options.type = type;
        options.defines = flags & 1;
        options.art = flags & 2;
        options.name = "pic";
        const std::vector<std::uint8_t> bytes = model::PackBytes(store, w, h, layout, false);
        const model::ParsedPicture file =
            model::ParseOutputText(model::BuildFileText(store, w, h, options));
        EXPECT_EQ(file.bytes, bytes);
        EXPECT_EQ(file.layout, layout);
        EXPECT_EQ(std::pair(file.width, file.height), std::pair(w, h));
        // The window's text says no layout: the hint gives it; #define lines give the size.
        model::ParseHints hints;
        hints.layout = layout;
        if (!options.defines) hints.width = w;
        const model::ParsedPicture window =
            model::ParseOutputText(model::BuildOutputText(store, w, h, options), hints);
        EXPECT_EQ(window.bytes, bytes);
        EXPECT_EQ(std::pair(window.width, window.height), std::pair(w, h))
            << model::LayoutName(layout) << flags;
      }
    }
  }
  OutputOptions xbm;
  xbm.format = Format::Xbm;
  const model::ParsedPicture parsed = model::ParseOutputText(
      model::BuildOutputText(store, w, h, xbm), Hints(8, 8, Layout::PageMsb));
  EXPECT_EQ(parsed.layout, Layout::RowsLsb);
  EXPECT_EQ(std::pair(parsed.width, parsed.height), std::pair(w, h));
  EXPECT_EQ(parsed.bytes, model::PackBytes(store, w, h, Layout::RowsLsb, false));
}

TEST(Output, ReadsArraysOfOtherTools) {
  const std::string c =
      "// logo, made elsewhere\n"
      "#ifndef LOGO_H\n"
      "#define LOGO_H\n"
      "#define LOGO_WIDTH 8\n"
      "#define LOGO_HEIGHT 8\n"
      "const unsigned char logo[] PROGMEM = {\n"
      "  0xff, 0X81, 129, 0b00000001, /* mid */ 017, 1u, 0x00,\n"
      "  // last\n"
      "  255,\n"
      "};\n"
      "#endif\n";
  const model::ParsedPicture parsed = model::ParseOutputText(c);
  EXPECT_EQ(std::pair(parsed.width, parsed.height), std::pair(8, 8));
  EXPECT_EQ(parsed.layout, Layout::PageLsb);
  EXPECT_EQ(parsed.bytes, (std::vector<std::uint8_t>{0xFF, 0x81, 129, 1, 15, 1, 0, 255}));

  const std::string xbm =
      "#define smile_width 16\r\n#define smile_height 8\r\n"
      "static char smile_bits[] = {\r\n 0x01,0x80,0,0,0,0,0,0,0,0,0,0,0,0,0,0x80};\r\n";
  const model::ParsedPicture face = model::ParseOutputText(xbm, Hints({}, {}, {}, true));
  EXPECT_EQ(std::pair(face.width, face.height), std::pair(16, 8));
  EXPECT_EQ(face.layout, Layout::RowsLsb);
  EXPECT_TRUE(face.invert);
  PixelStore store;
  model::UnpackBytes(face.bytes, 16, 8, face.layout, false, store);
  EXPECT_EQ(store.Get(0, 0), 1);
  EXPECT_EQ(store.Get(15, 0), 1);
  EXPECT_EQ(store.Get(15, 7), 1);
  EXPECT_EQ(store.Get(1, 0), 0);
}

TEST(Output, SizeFromHintsAndByteCount) {
  const std::string plain = model::BuildArrayText(PixelStore(), 84, 48);  // 504 bytes
  struct Case {
    model::ParseHints hints;
    int w, h;
  };
  const Case cases[] = {
      {Hints(84, 48), 84, 48},
      {Hints(168, 24), 168, 24},
      {Hints(84, 64), 84, 48},    // the width kept, the height from the count
      {Hints(100, 24), 168, 24},  // the height kept
      {Hints(84), 84, 48},
      {Hints({}, 16), 252, 16},
      {Hints({}, 16, Layout::RowsMsb), 0, 0},  // 504 / 16 is no whole row
      {Hints(128, 64), 0, 0},
  };
  for (const Case& tc : cases) {
    if (tc.w == 0) {
      EXPECT_THROW(model::ParseOutputText(plain, tc.hints), model::ParseError);
      continue;
    }
    const model::ParsedPicture parsed = model::ParseOutputText(plain, tc.hints);
    EXPECT_EQ(std::pair(parsed.width, parsed.height), std::pair(tc.w, tc.h));
  }
  // Rows known only by their height are taken as whole bytes wide.
  const model::ParsedPicture rows = model::ParseOutputText(
      "{1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16}", Hints({}, 8, Layout::RowsMsb));
  EXPECT_EQ(std::pair(rows.width, rows.height), std::pair(16, 8));
  // The size line wins over the hints.
  const model::ParsedPicture file =
      model::ParseOutputText("/* 4x16 rows-lsb */\n{1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16}\n",
                             Hints(16, 8, Layout::PageLsb, true));
  EXPECT_EQ(std::pair(file.width, file.height), std::pair(4, 16));
  EXPECT_EQ(file.layout, Layout::RowsLsb);
  EXPECT_FALSE(file.invert);
}

TEST(Output, MoreBytesThanTheLargestPictureAreRefusedAtTheFirstTooMany) {
  std::string text = "{";
  for (int i = 0; i < 9600; ++i) text += "0,\n";
  EXPECT_NO_THROW(model::ParseOutputText(text + "}", Hints(320, 240)));
  try {
    model::ParseOutputText(text + "0, 0, 0}", Hints(320, 240));
    ADD_FAILURE() << "taken";
  } catch (const model::ParseError& e) {
    EXPECT_EQ(e.line(), 9601);
    EXPECT_NE(std::string(e.what()).find("9600"), std::string::npos) << e.what();
  }
}

TEST(Output, ParseErrorsNameTheLine) {
  struct Case {
    const char* text;
    int line;
    const char* says;
  };
  const Case cases[] = {
      {"static const char a[8] =\n", 0, "нет массива"},
      {"", 0, "нет массива"},
      {"/* 8x8 page-lsb */\nx[8] =\n{ 0x00, 0x1FF,\n 0, 0, 0, 0, 0, 0};", 3, "«0x1FF»"},
      {"/* 8x8 page-lsb */\n{ 0, 0,\n abc, 0};", 3, "«abc»"},
      {"/* 8x8 page-lsb */\n{ 0, 0 0, 0};", 2, "запятая"},
      {"/* 8x8 page-lsb */\n{ 0,, 0};", 2, "запятая"},
      {"/* 8x8 page-lsb */\n{ -1, 0};", 2, "«-»"},
      {"/* 8x8 page-lsb */\n{ 0x, 0};", 2, "«0x»"},
      {"/* 8x8 page-lsb */\n{ 09, 0};", 2, "«09»"},
      {"\n\n{ 0, 0, /* open\n\n", 3, "комментарий"},
      {"/* 8x8 page-lsb */\n{ 0, 0,\n\n", 2, "не закрыт «}»"},
      {"{ }", 1, "пуст"},
      {"/* 8x8 page-lsb */\nx[9] =\n{ 0, 0, 0, 0, 0, 0, 0, 0};", 2, "9"},
      {"\n/* 8x16 page-lsb */\n{ 0, 0, 0, 0, 0, 0, 0, 0};", 2, "16"},
      {"/* 6x8 page-lsb */\n{ 0, 0, 0, 0, 0, 0};", 1, "6x8"},
      {"#define A_WIDTH 12\n{ 0, 0, 0, 0, 0, 0, 0, 0};", 1, "12"},
      {"{ 0, 0, 0, 0, 0, 0, 0, 0};", 0, "размер"},
  };
  for (const Case& tc : cases) {
    try {
      model::ParseOutputText(tc.text);
      ADD_FAILURE() << "taken: " << tc.text;
    } catch (const model::ParseError& e) {
      EXPECT_EQ(e.line(), tc.line) << tc.text;
      const std::string message = e.what();
      EXPECT_NE(message.find(tc.says), std::string::npos) << message;
      if (tc.line > 0) {
        EXPECT_EQ(message.rfind("Строка " + std::to_string(tc.line) + ": ", 0), 0u) << message;
      }
    }
  }
}

}  // namespace
