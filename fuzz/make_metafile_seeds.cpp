// Writes a seed corpus for the icon and metafile fuzz targets: small files of every record family
// built like the tests build them. make_metafile_seeds <folder> writes them into its subfolders
// icon/, wmf/ and emf/ (./dev fuzz adds the real files of tests/data).

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "picture/metafile/emf_records.h"
#include "picture/metafile/wmf_records.h"
#include "tests/picture/bmp_builder.h"
#include "tests/picture/metafile_builder.h"

namespace {

void Write(const std::string& path, const mftest::Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_metafile_seeds <folder>\n");
    return 2;
  }
  const std::string dir = argv[1];
  for (const char* kind : {"icon", "wmf", "emf"})
    std::filesystem::create_directories(dir + "/" + kind);
  using mftest::Bytes;
  using mftest::EmfBuilder;
  using mftest::WmfBuilder;
  namespace emf = picture::emf;

  // Icons: each depth with a mask, and a directory of two entries.
  const std::vector<std::vector<std::uint32_t>> rows = {{1, 2, 3, 0}, {0, 3, 2, 1}};
  const std::vector<model::Colour> palette = {0, 0xFF, 0xFF00, 0xFF0000};
  int n = 0;
  for (int bits : {1, 4, 8, 24, 32}) {
    const Bytes entry =
        mftest::IconDib(4, 2, bits, bits <= 8 ? palette : std::vector<model::Colour>{},
                        bmptest::PackRows(rows, bits), {"0001", "1000"});
    Write(dir + "/icon/icon-" + std::to_string(n++) + ".ico",
          mftest::BuildIcon({{4, 2, bits, entry}}));
  }
  const Bytes small = mftest::IconDib(2, 1, 32, {}, Bytes(8, 0x80), {});
  const Bytes eight = mftest::IconDib(4, 2, 8, palette, bmptest::PackRows(rows, 8), {"01", "10"});
  Write(dir + "/icon/icon-" + std::to_string(n++) + ".ico",
        mftest::BuildIcon({{2, 1, 32, small}, {4, 2, 8, eight}}));

  // Metafiles: one file per record family.
  const Bytes dib =
      mftest::PackedDib(2, 2, 24, {}, {0, 0, 255, 255, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0});
  std::vector<Bytes> wmfs;
  wmfs.push_back(WmfBuilder(0, 0, 40, 30).Brush(0, 0xFF).Select(0).Rectangle(2, 2, 20, 15).Build());
  wmfs.push_back(WmfBuilder(0, 0, 40, 30)
                     .Pen(1, 3, 0xFF0000)
                     .Select(0)
                     .MoveTo(1, 1)
                     .LineTo(30, 20)
                     .Ellipse(5, 5, 35, 25)
                     .Polygon({{0, 0}, {20, 5}, {10, 20}})
                     .Build());
  wmfs.push_back(WmfBuilder(0, 0, 40, 30, 96, false)
                     .WindowOrg(0, 0)
                     .WindowExt(40, 30)
                     .Record(picture::wmf::kArc, {10, 0, 10, 20, 30, 40, 0, 0})
                     .Record(picture::wmf::kPie, {10, 0, 10, 20, 30, 40, 0, 0})
                     .Record(picture::wmf::kChord, {10, 0, 10, 20, 30, 40, 0, 0})
                     .Record(picture::wmf::kRoundRect, {6, 6, 25, 35, 2, 2})
                     .Build());
  {
    Bytes text = {5, 0, 'H', 'e', 'l', 'l', 'o', 0, 10, 0, 2, 0};
    WmfBuilder w(0, 0, 60, 30);
    Bytes font(18, 0);
    font[0] = 0xF0;  // height -16
    font[1] = 0xFF;
    const char face[] = "DejaVu Sans";
    font.insert(font.end(), face, face + sizeof face);
    w.Raw(picture::wmf::kCreateFontIndirect, font).Select(0).Raw(picture::wmf::kTextOut, text);
    wmfs.push_back(w.Build());
  }
  {
    Bytes params;
    for (int v : {0x0020, 0x00CC, 0, 2, 2, 0, 0, 20, 20, 1, 1})
      mftest::Put16(params, static_cast<std::uint16_t>(v));
    params.insert(params.end(), dib.begin(), dib.end());
    wmfs.push_back(WmfBuilder(0, 0, 30, 30).Raw(picture::wmf::kStretchDib, params).Build());
  }
  for (std::size_t i = 0; i < wmfs.size(); ++i)
    Write(dir + "/wmf/wmf-" + std::to_string(i) + ".wmf", wmfs[i]);

  std::vector<Bytes> emfs;
  emfs.push_back(EmfBuilder(40, 30)
                     .Brush(1, 0, 0xFF)
                     .Select(1)
                     .Rectangle(2, 2, 20, 15)
                     .Ellipse(10, 10, 30, 25)
                     .Build());
  emfs.push_back(EmfBuilder(40, 30)
                     .Record(emf::kSetMapMode, {8})
                     .Record(emf::kSetWindowExtEx, {100, 100})
                     .Record(emf::kSetViewportExtEx, {40, static_cast<std::uint32_t>(-30)})
                     .Record(emf::kSetViewportOrgEx, {0, 30})
                     .Pen(1, 0x10000 | 1, 4, 0xFF00)
                     .Select(1)
                     .Poly(emf::kPolyline, {{0, 0}, {50, 90}, {90, 10}})
                     .Poly(emf::kPolyBezier, {{0, 0}, {30, 90}, {60, 0}, {90, 90}})
                     .Build());
  emfs.push_back(EmfBuilder(40, 30)
                     .Record(emf::kBeginPath, {})
                     .MoveTo(1, 1)
                     .LineTo(30, 1)
                     .LineTo(20, 25)
                     .Record(emf::kCloseFigure, {})
                     .Record(emf::kEndPath, {})
                     .Record(emf::kSelectClipPath, {5})
                     .Brush(1, 2, 0xFF0000, 3)
                     .Select(1)
                     .Rectangle(0, 0, 40, 30)
                     .Build());
  emfs.push_back(EmfBuilder(60, 30)
                     .Font(1, -16, "DejaVu Sans", 700, 300)
                     .Select(1)
                     .Record(emf::kSetTextColor, {0xFF})
                     .Text(5, 5, u"Hello", 0, {8, 8, 8, 8, 8})
                     .Build());
  {
    int bitsOffset = 0;
    const Bytes packed = mftest::PackedDib(2, 2, 24, {}, Bytes(16, 0x7F), &bitsOffset);
    emfs.push_back(EmfBuilder(30, 30)
                       .Record(emf::kSetWorldTransform,
                               {EmfBuilder::F(0.7f), EmfBuilder::F(0.7f), EmfBuilder::F(-0.7f),
                                EmfBuilder::F(0.7f), EmfBuilder::F(10), 0})
                       .StretchDib(1, 1, 20, 20, packed, bitsOffset)
                       .Build());
  }
  for (std::size_t i = 0; i < emfs.size(); ++i)
    Write(dir + "/emf/emf-" + std::to_string(i) + ".emf", emfs[i]);

  // Large files, so that the fuzzer starts from inputs of a few megabytes as real pictures are:
  // a 24-bit bitmap of 900 x 800 in each metafile kind, and an icon of 700 x 700 at 32 bits.
  // (Points are left small: a polygon of a few hundred thousand takes seconds a run under the
  // sanitizers, for nothing the small ones do not reach.)
  {
    Bytes rows;
    for (int i = 0; i < 900 * 3 * 800; ++i) rows.push_back(static_cast<std::uint8_t>(i * 7 / 5));
    int bitsOffset = 0;
    const Bytes big = mftest::PackedDib(900, 800, 24, {}, rows, &bitsOffset);
    Write(dir + "/emf/large-bitmap.emf",
          EmfBuilder(300, 200).StretchDib(0, 0, 300, 200, big, bitsOffset).Build());
    Bytes params;
    for (int v : {0x0020, 0x00CC, 0, 800, 900, 0, 0, 200, 300, 0, 0})
      mftest::Put16(params, static_cast<std::uint16_t>(v));
    params.insert(params.end(), big.begin(), big.end());
    Write(dir + "/wmf/large-bitmap.wmf",
          WmfBuilder(0, 0, 300, 200).Raw(picture::wmf::kStretchDib, params).Build());
    Bytes pixels;
    for (int i = 0; i < 700 * 700 * 4; ++i) pixels.push_back(static_cast<std::uint8_t>(i % 251));
    std::vector<std::string> mask(700, std::string(700, '0'));
    Write(dir + "/icon/large.ico",
          mftest::BuildIcon({{0, 0, 32, mftest::IconDib(700, 700, 32, {}, pixels, mask)}}));
  }
  return 0;
}
