#include "model/geometry.h"

#include <gtest/gtest.h>

#include "model/pixel_store.h"

namespace {

using model::ReadInputValue;
using model::SnapToStep;
using model::TakeHeight;
using model::TakeWidth;

// What a size box does with an entered value: the normalisation, then the box's clamp when
// normalisation rewrote the value, then the clamp of taking the size at the next redraw.
int WidthAfterTaking(int entered) {
  int v = entered;
  if (auto snapped = SnapToStep(v, model::kWidthStep))
    v = std::clamp(*snapped, model::kMinWidth, model::kMaxWidth);
  return TakeWidth(v);
}
int HeightAfterTaking(int entered) {
  int v = entered;
  if (auto snapped = SnapToStep(v, model::kHeightStep))
    v = std::clamp(*snapped, model::kMinHeight, model::kMaxHeight);
  return TakeHeight(v);
}

TEST(Geometry, WidthInputsEndAsTheRulesSay) {
  const std::pair<int, int> cases[] = {
      {0, 4}, {3, 4},     {4, 4},     {85, 84},    {321, 320},       {324, 320},    {-5, 4},
      {8, 8}, {319, 316}, {320, 320}, {1000, 320}, {INT32_MAX, 320}, {INT32_MIN, 4}};
  for (auto [entered, taken] : cases) EXPECT_EQ(WidthAfterTaking(entered), taken) << entered;
}

TEST(Geometry, HeightInputsEndAsTheRulesSay) {
  const std::pair<int, int> cases[] = {{5, 8},     {8, 8},     {50, 48},         {241, 240},
                                       {248, 240}, {0, 8},     {4, 8},           {-3, 8},
                                       {239, 232}, {240, 240}, {INT32_MAX, 240}, {INT32_MIN, 8}};
  for (auto [entered, taken] : cases) EXPECT_EQ(HeightAfterTaking(entered), taken) << entered;
}

TEST(Geometry, SnapLeavesMultiplesAndNegativesAlone) {
  EXPECT_EQ(SnapToStep(85, 4), 84);
  EXPECT_EQ(SnapToStep(3, 4), 0);
  EXPECT_EQ(SnapToStep(7, 8), 0);
  EXPECT_EQ(SnapToStep(324, 4), std::nullopt);
  EXPECT_EQ(SnapToStep(0, 4), std::nullopt);
  EXPECT_EQ(SnapToStep(-5, 4), std::nullopt);
  EXPECT_EQ(SnapToStep(-9, 8), std::nullopt);
  EXPECT_EQ(SnapToStep(INT32_MAX, 8), INT32_MAX / 8 * 8);
}

TEST(Geometry, ScaleFromListIndex) {
  EXPECT_EQ(model::ScaleFromIndex(0), 1);
  EXPECT_EQ(model::ScaleFromIndex(1), 2);
  EXPECT_EQ(model::ScaleFromIndex(2), 4);
  EXPECT_EQ(model::ScaleFromIndex(3), 8);
  EXPECT_EQ(model::ScaleFromIndex(-1), 1);
  EXPECT_EQ(model::ScaleFromIndex(9), 8);
}

TEST(Geometry, ReadingAnInput) {
  const std::pair<const char*, int> cases[] = {
      {"84", 84},
      {"+84", 84},
      {"-5", -5},
      {"007", 7},
      {"$54", 84},
      {"0x54", 84},
      {"0X1f", 31},
      {"-$10", -16},
      {"  96", 96},
      {"", 4},
      {"-", 4},
      {"+", 4},
      {"$", 4},
      {"0x", 4},
      {"12a", 4},
      {"1 2", 4},
      {"96 ", 4},
      {"1,5", 4},
      {"$G", 4},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", 4},
      {"99999999999999999999", 4},
      {"$7FFFFFFF", INT32_MAX},
  };
  for (auto [text, value] : cases) EXPECT_EQ(ReadInputValue(text, 4), value) << '"' << text << '"';
  EXPECT_EQ(ReadInputValue("", 8), 8);
}

TEST(PixelStore, StartsClearAndStoresOnlyZeroAndOne) {
  model::PixelStore store;
  for (int x = 0; x < 320; x += 7)
    for (int y = 0; y < 240; y += 5) ASSERT_EQ(store.Get(x, y), 0);
  store.Set(3, 4, 7);
  EXPECT_EQ(store.Get(3, 4), 1);
  store.Set(3, 4, 0);
  EXPECT_EQ(store.Get(3, 4), 0);
  store.Set(-1, 0, 1);
  store.Set(320, 0, 1);
  store.Set(0, 240, 1);
  EXPECT_EQ(store.Get(-1, 0), 0);
  EXPECT_EQ(store.Get(320, 0), 0);
  for (auto v : store.Raw()) ASSERT_EQ(v, 0);
}

TEST(PixelStore, FixedColumnStride) {
  model::PixelStore store;
  store.Set(70, 40, 1);
  store.Set(319, 239, 1);
  EXPECT_EQ(store.Raw()[70 * 240 + 40], 1);
  EXPECT_EQ(store.Raw()[319 * 240 + 239], 1);
  EXPECT_EQ(model::PixelStore::Index(1, 0), 240);
}

TEST(PixelStore, ClearErasesBeyondAnySize) {
  model::PixelStore store;
  store.Set(0, 0, 1);
  store.Set(319, 239, 1);
  store.Set(200, 100, 1);
  store.ClearPicture();
  for (auto v : store.Raw()) ASSERT_EQ(v, 0);
}

}  // namespace
