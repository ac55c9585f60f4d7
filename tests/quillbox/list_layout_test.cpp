// Placement rules of the list window.
#include "quillbox/list_layout.h"

#include <gtest/gtest.h>

#include <utility>

namespace tidewell {
namespace {

TEST(ListLayoutTest, OpeningRectFallsBackOffTheDesktop) {
  const ListRect desktop{0, 0, 1024, 768};
  const struct {
    ListRect stored;
    ListRect expected;
  } cases[] = {
      {{10, 20, 500, 400}, {10, 20, 500, 400}},
      {{0, 0, 1024, 768}, {0, 0, 1024, 768}},
      {{-1, 20, 500, 400}, kDefaultListRect},
      {{10, -5, 500, 400}, kDefaultListRect},
      {{10, 20, 1025, 400}, kDefaultListRect},
      {{10, 20, 500, 769}, kDefaultListRect},
  };
  for (const auto& c : cases) EXPECT_EQ(OpeningRect(c.stored, desktop), c.expected) << c.stored.left;
}

TEST(ListLayoutTest, ClosingRectOfAMinimisedWindow) {
  const ListRect window{-32000, -32000, -31840, -31970};
  const ListRect previous{50, 50, 350, 200};
  const struct {
    bool minimized;
    ListRect restored;
    ListRect expected;
  } cases[] = {
      {false, {100, 100, 600, 500}, window},
      {true, {100, 100, 600, 500}, {100, 100, 600, 500}},
      {true, {100, 100, 300, 250}, {100, 100, 300, 250}},  // exactly the minimum size
      {true, {100, 100, 299, 500}, previous},
      {true, {100, 100, 600, 249}, previous},
      {true, {-1, 100, 600, 500}, previous},
      {true, {100, -1, 600, 500}, previous},
  };
  for (const auto& c : cases) EXPECT_EQ(ClosingRect(c.minimized, window, c.restored, previous), c.expected);
}

}  // namespace
}  // namespace tidewell

// Column widths kept in Quillbox.ini are 96-DPI pixels: 100 % leaves them
// alone, other DPIs scale them for the list and back unchanged at close.
TEST(ListLayoutTest, ColumnWidthsScaleWithTheDpiAndStoreBackUnscaled) {
  struct Case {
    int stored, dpi, shown;
  } cases[] = {
      {150, 96, 150}, {77, 96, 77},   {150, 144, 225}, {77, 144, 116}, {80, 120, 100},
      {120, 192, 240}, {0, 144, 0},   {1, 144, 2},     {150, 0, 150},  {-5, 144, -8},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tidewell::WidthForDpi(c.stored, c.dpi), c.shown) << c.stored << " at " << c.dpi;
    EXPECT_EQ(tidewell::WidthAt96(c.shown, c.dpi), c.stored) << c.shown << " at " << c.dpi;
  }
  // Every width survives the round trip at the usual scales.
  for (int dpi : {96, 120, 144, 168, 192, 288})
    for (int w = 0; w <= 2000; ++w) ASSERT_EQ(tidewell::WidthAt96(tidewell::WidthForDpi(w, dpi), dpi), w) << dpi;
  // A width dragged at 150 % is stored to the nearest 96-DPI pixel.
  EXPECT_EQ(tidewell::WidthAt96(226, 144), 151);
  EXPECT_EQ(tidewell::WidthAt96(227, 144), 151);
}

TEST(ListLayoutTest, ToolbarPicturesByDpi) {
  const std::pair<int, int> cases[] = {{96, 16}, {120, 16}, {143, 16}, {144, 24}, {168, 24}, {191, 24}, {192, 32}, {288, 32}};
  for (const auto& [dpi, size] : cases) EXPECT_EQ(tidewell::ToolbarImageSize(dpi), size) << dpi;
}
