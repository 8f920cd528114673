// Conformance with the BMP Suite corpus, when the shared folder has it (it is never copied into
// the repository). Reference renderings are PNG files, read with Qt.

#include <bit>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <QImage>

#include "picture/bmp.h"
#include "picture/dib.h"
#include "picture/picture.h"
#include "tests/picture/bmp_pieces.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSuite = fs::path(DOTWRIGHT_SHARED_DIR) / "bmpsuite";

struct Entry {
  std::string file;       // "g/pal8.bmp"
  std::string reference;  // "pal8.png", or empty
};

std::vector<Entry> Manifest() {
  std::vector<Entry> entries;
  std::ifstream in(kSuite / "manifest.tsv");
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Entry e;
    std::getline(fields, e.file, '\t');
    std::getline(fields, e.reference, '\t');
    if (e.reference == "-") e.reference.clear();
    if (!e.file.empty()) entries.push_back(e);
  }
  return entries;
}

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// How far a channel may be from the reference: none where every channel has 8 bits; a few
// levels for other bit fields, whose low bits decoders fill in (or drop) differently.
int Tolerance(const std::vector<std::uint8_t>& file) {
  const auto info = picture::dib::ParseInfo(std::span(file).subspan(14));
  if (info.bitCount != 16 && info.bitCount != 32) return 0;
  for (std::uint32_t mask : info.masks)
    if (std::popcount(mask) != 8) return 4;
  return 0;
}

// Compares red, green and blue with the reference, pixel by pixel. Where the reference is fully
// transparent its colour is undefined (PNG writers store anything there), so it is not compared.
testing::AssertionResult MatchesReference(const model::Bitmap& bitmap, const fs::path& png,
                                          int tolerance) {
  QImage reference;
  if (!reference.load(QString::fromStdString(png.string())))
    return testing::AssertionFailure() << "cannot read " << png;
  reference = reference.convertToFormat(QImage::Format_ARGB32);
  if (reference.width() != bitmap.Width() || reference.height() != bitmap.Height())
    return testing::AssertionFailure()
           << "size " << bitmap.Width() << " x " << bitmap.Height() << ", reference "
           << reference.width() << " x " << reference.height();
  int differing = 0;
  std::ostringstream first;
  for (int y = 0; y < reference.height(); ++y) {
    for (int x = 0; x < reference.width(); ++x) {
      const QRgb want = reference.pixel(x, y);
      if (qAlpha(want) == 0) continue;
      const model::Colour got = bitmap.Pixel(x, y);
      const int diff = std::max({std::abs(qRed(want) - model::RedOf(got)),
                                 std::abs(qGreen(want) - model::GreenOf(got)),
                                 std::abs(qBlue(want) - model::BlueOf(got))});
      if (diff > tolerance && differing++ == 0)
        first << " first at (" << x << ", " << y << "): got R, G, B " << int{model::RedOf(got)}
              << ", " << int{model::GreenOf(got)} << ", " << int{model::BlueOf(got)} << " want "
              << qRed(want) << ", " << qGreen(want) << ", " << qBlue(want);
    }
  }
  if (differing == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << differing << " pixels differ;" << first.str();
}

// The reference to compare with: the one named, or a variant of it when there is one. "-0"
// renders pixels that RLE skips in palette entry 0, as the decoder does; "-e" renders non-square
// pixels unstretched (the one named is stretched for a viewer).
fs::path Reference(const std::string& name) {
  const fs::path named = kSuite / "ref" / name;
  std::string stem = named.stem().string();
  if (stem.size() > 2 && stem.ends_with("-v")) stem.resize(stem.size() - 2);
  for (const char* variant : {"-0.png", "-e.png"}) {
    const fs::path other = named.parent_path() / (stem + variant);
    if (fs::exists(other)) return other;
  }
  return named;
}

class BmpSuite : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kSuite / "manifest.tsv")) GTEST_SKIP() << "no BMP suite at " << kSuite;
  }
};

TEST_F(BmpSuite, EveryGoodFileMatchesItsReference) {
  int checked = 0;
  for (const Entry& e : Manifest()) {
    if (e.file.rfind("g/", 0) != 0) continue;
    SCOPED_TRACE(e.file);
    const auto file = ReadFile(kSuite / e.file);
    model::Bitmap bitmap;
    ASSERT_NO_THROW(bitmap = picture::DecodeBmp(file));
    ASSERT_FALSE(e.reference.empty());
    EXPECT_TRUE(MatchesReference(bitmap, Reference(e.reference), Tolerance(file)));
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

// Questionable, bad and odd files decode or raise one of the decoder's messages; none crashes,
// hangs or takes unbounded memory (b/reallybig.bmp claims a huge size). Those that decode and
// have a reference match it, reading pixels that RLE skips as palette entry 0.
TEST_F(BmpSuite, OtherFilesDecodeOrRaiseAMessage) {
  // Decoded, but rendered differently from the reference on purpose: the reference applies the
  // embedded colour profile, which a two-colour converter has no use for.
  const std::set<std::string> renderedOtherwise = {"q/rgb24prof2.bmp"};
  int decoded = 0;
  int refused = 0;
  for (const Entry& e : Manifest()) {
    if (e.file.rfind("g/", 0) == 0) continue;
    SCOPED_TRACE(e.file);
    const auto file = ReadFile(kSuite / e.file);
    try {
      const model::Bitmap bitmap = picture::DecodeBmp(file);
      ++decoded;
      EXPECT_FALSE(bitmap.Empty());
      if (e.reference.empty() || renderedOtherwise.count(e.file)) continue;
      EXPECT_TRUE(MatchesReference(bitmap, Reference(e.reference), Tolerance(file)));
    } catch (const picture::LoadError& error) {
      ++refused;
      const std::string message = error.what();
      EXPECT_TRUE(message == picture::dib::kNotValid || message == picture::dib::kStreamReadError)
          << message;
    }
  }
  EXPECT_GT(decoded, 0);
  EXPECT_GT(refused, 0);
}

// Every file of the corpus decodes (or fails) alike read a few bytes at a time as whole.
TEST_F(BmpSuite, EveryFileDecodesAlikeReadInPieces) {
  int checked = 0;
  for (const Entry& e : Manifest()) {
    SCOPED_TRACE(e.file);
    EXPECT_TRUE(bmptest::DecodesAlikeEveryWay(ReadFile(kSuite / e.file)));
    ++checked;
  }
  EXPECT_GT(checked, 50);
}

TEST_F(BmpSuite, ReallyBigFileIsRefused) {
  const auto file = ReadFile(kSuite / "b/reallybig.bmp");
  ASSERT_FALSE(file.empty());
  EXPECT_THROW(picture::DecodeBmp(file), picture::LoadError);
}

}  // namespace
