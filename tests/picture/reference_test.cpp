// Real icons and metafiles, made by real producers, drawn at a few sizes and compared with the
// producers' own renderings (tests/data/README.md tells how each file was made).

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <string>

#include "model/canvas.h"
#include "picture/metafile/budget.h"
#include "picture/metafile/metafile_picture.h"
#include "picture/picture.h"
#include "tests/support/raster_text.h"

namespace {

namespace fs = std::filesystem;
const fs::path kData = DOTWRIGHT_TEST_DATA;

// How far a drawing may stray from its reference.
//
// The producers anti-alias and we do not (GDI draws aliased), edges may fall one pixel apart
// through rounding, and glyphs differ between font rasterisers. So a pixel matches when, within
// one pixel of it, the other picture has nearly its colour (each channel within
// kChannelTolerance) or two colours it is nearly a blend of: an anti-aliased edge pixel is a
// blend of the colours on either side of the edge. The comparison runs both ways: ours against
// the reference finds what we drew that is not there; the reference against ours finds what we
// left out, moved or recoloured. What stays unmatched is where aliased and anti-aliased drawing
// really differ: hairlines and thin strokes that an anti-aliased renderer draws as faint grey
// and an aliased one draws as whole pixels or drops, and small glyphs. The allowed fraction is
// measured on these files: at most 2.3% of the pixels at 320 x 240, 2.7% at 200 x 100 and 3.8%
// at 84 x 48, where every stroke is thin; each case allows a little more. A shape drawn a few
// pixels out of place, or a shape too many, exceeds that; a shape left out is caught by the
// colour areas below.
constexpr int kChannelTolerance = 40;

bool Near(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) <= kChannelTolerance &&
         std::abs(qGreen(a) - qGreen(b)) <= kChannelTolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= kChannelTolerance;
}

// Whether `c` is nearly a blend of `a` and `b`.
bool NearBlend(QRgb c, QRgb a, QRgb b) {
  const double d[3] = {double(qRed(b) - qRed(a)), double(qGreen(b) - qGreen(a)),
                       double(qBlue(b) - qBlue(a))};
  const double v[3] = {double(qRed(c) - qRed(a)), double(qGreen(c) - qGreen(a)),
                       double(qBlue(c) - qBlue(a))};
  const double length = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  if (length == 0) return false;
  const double t = std::clamp((v[0] * d[0] + v[1] * d[1] + v[2] * d[2]) / length, 0.0, 1.0);
  for (int i = 0; i < 3; ++i) {
    if (std::abs(v[i] - t * d[i]) > kChannelTolerance) return false;
  }
  return true;
}

// The fraction of pixels of `a` that match nothing within one pixel in `b`.
double Mismatch(const QImage& a, const QImage& b) {
  int misses = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb c = a.pixel(x, y);
      std::vector<QRgb> around;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          if (b.rect().contains(x + dx, y + dy)) around.push_back(b.pixel(x + dx, y + dy));
        }
      }
      bool found = std::any_of(around.begin(), around.end(), [&](QRgb n) { return Near(c, n); });
      for (std::size_t i = 0; i < around.size() && !found; ++i) {
        for (std::size_t j = i + 1; j < around.size() && !found; ++j) {
          found = NearBlend(c, around[i], around[j]);
        }
      }
      misses += !found;
    }
  }
  return static_cast<double>(misses) / (a.width() * a.height());
}

// The areas of the reference's solid colours: every exact colour covering at least one pixel
// in a hundred, with the number of its pixels in the reference and in ours (counting ours within
// the tolerance). Offsets and anti-aliasing move edges, not areas, so this finds a shape left out
// or recoloured even where it is too thin for the fraction above: ours must cover at least four
// fifths of each. (Ours covers more where the reference blends edges and thin strokes into other
// colours, so there is no upper bound here.)
struct Area {
  QRgb colour;
  int reference = 0;
  int ours = 0;
};
std::vector<Area> ColourAreas(const QImage& reference, const QImage& ours) {
  std::map<QRgb, int> counts;
  for (int y = 0; y < reference.height(); ++y) {
    for (int x = 0; x < reference.width(); ++x) ++counts[reference.pixel(x, y)];
  }
  const int total = reference.width() * reference.height();
  std::vector<Area> areas;
  for (const auto& [colour, count] : counts) {
    if (count * 100 < total) continue;
    Area a{colour, count, 0};
    for (int y = 0; y < ours.height(); ++y) {
      for (int x = 0; x < ours.width(); ++x) a.ours += Near(ours.pixel(x, y), colour);
    }
    areas.push_back(a);
  }
  return areas;
}

QImage Draw(const std::string& file, int width, int height) {
  const auto picture = picture::LoadPicture((kData / file).string());
  model::Canvas canvas(width, height);
  picture->StretchDraw(canvas, {0, 0, width, height});
  return QImage(reinterpret_cast<const uchar*>(canvas.Bits()), width, height, canvas.BytesPerLine(),
                QImage::Format_RGBX8888)
      .convertToFormat(QImage::Format_RGB32);
}

struct Case {
  const char* file;
  const char* reference;
  int width;
  int height;
  double allowed;  // the fraction of pixels that may match nothing, each way
};

class ReferenceTest : public testing::TestWithParam<Case> {};

TEST_P(ReferenceTest, DrawingMatchesTheProducersRendering) {
  const Case& c = GetParam();
  const QImage reference = QImage(QString::fromStdString((kData / c.reference).string()))
                               .convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(reference.size(), QSize(c.width, c.height)) << c.reference;
  const QImage ours = Draw(c.file, c.width, c.height);
  const double extra = Mismatch(ours, reference);
  const double missing = Mismatch(reference, ours);
  EXPECT_LE(extra, c.allowed) << c.file << " at " << c.width << "x" << c.height;
  EXPECT_LE(missing, c.allowed) << c.file << " at " << c.width << "x" << c.height;
  for (const Area& a : ColourAreas(reference, ours)) {
    EXPECT_GE(a.ours * 5, a.reference * 4)
        << c.file << " at " << c.width << "x" << c.height << ": colour " << std::hex << a.colour
        << std::dec << " covers " << a.ours << " pixels, the reference " << a.reference;
  }
  // Whatever the tolerance absorbs, the picture is not blank.
  int white = 0;
  for (int y = 0; y < ours.height(); ++y) {
    for (int x = 0; x < ours.width(); ++x) white += ours.pixel(x, y) == qRgb(255, 255, 255);
  }
  EXPECT_LT(white, ours.width() * ours.height() * 9 / 10) << c.file;
}

// LibreOffice wrote each drawing as WMF and as EMF and rendered it (both files render the same
// in LibreOffice, which reads the EMF that its WMF carries); ImageMagick wrote and rendered the
// icons.
const Case kCases[] = {
    {"metafile/shapes.emf", "metafile/ref_shapes_320x240.png", 320, 240, 0.035},
    {"metafile/shapes.emf", "metafile/ref_shapes_200x100.png", 200, 100, 0.035},
    {"metafile/shapes.emf", "metafile/ref_shapes_84x48.png", 84, 48, 0.05},
    {"metafile/shapes.wmf", "metafile/ref_shapes_320x240.png", 320, 240, 0.035},
    {"metafile/shapes.wmf", "metafile/ref_shapes_200x100.png", 200, 100, 0.035},
    {"metafile/shapes.wmf", "metafile/ref_shapes_84x48.png", 84, 48, 0.05},
    {"metafile/mixed.emf", "metafile/ref_mixed_320x240.png", 320, 240, 0.035},
    {"metafile/mixed.emf", "metafile/ref_mixed_200x100.png", 200, 100, 0.035},
    {"metafile/mixed.emf", "metafile/ref_mixed_84x48.png", 84, 48, 0.05},
    {"metafile/mixed.wmf", "metafile/ref_mixed_320x240.png", 320, 240, 0.035},
    {"metafile/mixed.wmf", "metafile/ref_mixed_200x100.png", 200, 100, 0.035},
    {"metafile/mixed.wmf", "metafile/ref_mixed_84x48.png", 84, 48, 0.05},
    {"icon/multi.ico", "icon/ref_multi.png", 48, 48, 0.01},
    {"icon/multi.ico", "icon/ref_multi_84x48.png", 84, 48, 0.01},
    {"icon/png256.ico", "icon/ref_png256.png", 256, 256, 0.01},
    {"icon/png256.ico", "icon/ref_png256_84x48.png", 84, 48, 0.01},
    {"icon/pal4a.ico", "icon/ref_pal4a.png", 32, 32, 0.01},
    {"icon/pal4a.ico", "icon/ref_pal4a_84x48.png", 84, 48, 0.01},
    {"icon/pal8.ico", "icon/ref_pal8.png", 32, 32, 0.01},
    {"icon/pal8.ico", "icon/ref_pal8_84x48.png", 84, 48, 0.01},
    {"icon/mono.ico", "icon/ref_mono.png", 32, 32, 0.01},
    {"icon/mono.ico", "icon/ref_mono_84x48.png", 84, 48, 0.01},
};

INSTANTIATE_TEST_SUITE_P(RealFiles, ReferenceTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                           std::string name = std::string(info.param.file) + "_" +
                                              std::to_string(info.param.width) + "x" +
                                              std::to_string(info.param.height);
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

// At its own size an icon is its pixels: no resampling, so no tolerance beyond the rounding of
// blending partly transparent pixels onto white.
TEST(ReferenceIcons, AtTheirOwnSizeMatchPixelForPixel) {
  for (const char* name : {"multi", "png256", "pal4a", "pal8", "mono", "masked24"}) {
    const QImage reference =
        QImage(QString::fromStdString(
                   (kData / "icon" / (std::string("ref_") + name + ".png")).string()))
            .convertToFormat(QImage::Format_RGB32);
    const QImage ours =
        Draw(std::string("icon/") + name + ".ico", reference.width(), reference.height());
    int worst = 0;
    for (int y = 0; y < ours.height(); ++y) {
      for (int x = 0; x < ours.width(); ++x) {
        const QRgb a = ours.pixel(x, y);
        const QRgb b = reference.pixel(x, y);
        worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                          std::abs(qBlue(a) - qBlue(b))});
      }
    }
    EXPECT_LE(worst, 1) << name;
  }
}

// A 24-bit icon has no alpha: its AND mask alone makes pixels transparent, and ImageMagick keeps
// the picture's green under it. The masked area is white, not that green inverted.
TEST(ReferenceIcons, AMaskedAreaOverColourIsWhite) {
  const testsupport::Legend legend = {
      {model::Rgb(0x20, 0xA0, 0x40), 'g'}, {model::kWhite, ' '}, {model::kBlack, '#'}};
  model::Canvas canvas(8, 8);
  canvas.Fill(model::kBlack);
  picture::LoadPicture((kData / "icon" / "masked24.ico").string())
      ->StretchDraw(canvas, {0, 0, 8, 8});
  EXPECT_TRUE(testsupport::RasterMatches(canvas, 0, 0,
                                         {"gggggggg", "gggggggg", "gg    gg", "gg    gg",
                                          "gg    gg", "gggggggg", "gggggggg", "########"},
                                         legend));
}

// Files the fuzzers found faults with (tests/data/fuzz/README.md): each now loads, or is refused
// with the format's message, and draws without fault and within its budget. A file whose fault
// was a slow path also names the least work that path is charged, so that the path cannot come
// back uncharged (the far-reaching clipping path once took seconds outside any account).
TEST(FuzzFindings, LoadAndDrawWithinTheirBudgetOrAreRefused) {
  using picture::metafile::Budget;
  const std::int64_t area = 96 * 64;
  const std::map<std::string, std::int64_t> leastWork = {
      {"emf-anglearc-radius0.emf", picture::metafile::kCostPerCall},
      {"emf-clip-path-far-outside.emf", picture::metafile::kPathRegionAreas * area},
      {"emf-source-rectangle-overflow.emf", 0},
  };
  int files = 0;
  for (const auto& entry : fs::directory_iterator(kData / "fuzz")) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".emf" && ext != ".wmf" && ext != ".ico") continue;
    ++files;
    const std::string name = entry.path().filename().string();
    ASSERT_TRUE(leastWork.contains(name)) << name << " needs its line in this test";
    try {
      const auto picture = picture::LoadPicture(entry.path().string());
      model::Canvas canvas(96, 64);
      if (const auto* metafile =
              dynamic_cast<const picture::metafile::MetafilePicture*>(picture.get())) {
        const Budget left = metafile->Play(canvas, {0, 0, 96, 64});
        EXPECT_FALSE(left.Spent()) << name << ": work left " << left.work;
        EXPECT_GE(Budget(area).work - left.work, leastWork.at(name)) << name;
      }
      picture->StretchDraw(canvas, {-7, 50, 20, 300});
    } catch (const picture::LoadError& e) {
      const std::string message = e.what();
      EXPECT_TRUE(message == "Metafile is not valid" || message == "Icon image is not valid")
          << name << ": " << message;
    }
  }
  EXPECT_EQ(files, static_cast<int>(leastWork.size()));
}

}  // namespace
