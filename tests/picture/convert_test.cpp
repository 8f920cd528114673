#include "picture/convert.h"

#include <gtest/gtest.h>

#include "model/bitmap.h"
#include "model/conversion.h"
#include "picture/bitmap_picture.h"
#include "tests/support/raster_text.h"

namespace {

using model::Canvas;
using picture::BitmapPicture;
using testsupport::RasterMatches;

const testsupport::Legend kLegend = {
    {model::kWhite, ' '}, {model::kBlack, '#'}, {model::Rgb(200, 200, 200), 'l'}, {0x123456, '.'}};

// A 2 x 1 picture: light grey, then black.
BitmapPicture Picture() {
  model::Bitmap bitmap(2, 1, model::Rgb(200, 200, 200));
  bitmap.Row(0)[1] = model::kBlack;
  return BitmapPicture(std::move(bitmap));
}

TEST(Convert, DrawsThePictureIntoTheAreaThenThresholds) {
  Canvas scratch(6, 3);
  Canvas preview(6, 3);
  preview.Fill(0x123456);
  const BitmapPicture picture = Picture();
  picture::Convert(&picture, scratch, preview, {4, 2, model::kDefaultThreshold, false});
  EXPECT_TRUE(RasterMatches(scratch, 0, 0, {"ll##  ", "ll##  ", "      "}, kLegend));
  EXPECT_TRUE(RasterMatches(preview, 0, 0, {"  ##..", "  ##..", "......"}, kLegend));
  picture::Convert(&picture, scratch, preview, {4, 2, model::kDefaultThreshold, true});
  EXPECT_TRUE(RasterMatches(preview, 0, 0, {"##  ..", "##  ..", "......"}, kLegend));
}

TEST(Convert, NoPictureOrAnEmptyOneKeepsTheScratchRaster) {
  Canvas scratch(4, 2);
  Canvas preview(4, 2);
  // Never drawn: white, so the preview is white, or black when inverted.
  picture::Convert(nullptr, scratch, preview, {4, 2, model::kDefaultThreshold, false});
  EXPECT_TRUE(RasterMatches(preview, 0, 0, {"    ", "    "}, kLegend));
  picture::Convert(nullptr, scratch, preview, {4, 2, model::kDefaultThreshold, true});
  EXPECT_TRUE(RasterMatches(preview, 0, 0, {"####", "####"}, kLegend));

  // After a picture was drawn at 4 x 2, a smaller conversion with no picture re-reads it.
  const BitmapPicture picture = Picture();
  picture::Convert(&picture, scratch, preview, {4, 2, model::kDefaultThreshold, false});
  const BitmapPicture empty{model::Bitmap()};
  for (const picture::Picture* source : {static_cast<const picture::Picture*>(nullptr),
                                         static_cast<const picture::Picture*>(&empty)}) {
    preview.Fill(0x123456);
    picture::Convert(source, scratch, preview, {2, 1, model::kDefaultThreshold, false});
    EXPECT_TRUE(RasterMatches(scratch, 0, 0, {"ll##", "ll##"}, kLegend));
    EXPECT_TRUE(RasterMatches(preview, 0, 0, {"  ..", "...."}, kLegend));
  }
}

}  // namespace
