// Placement rules of the list window.
#include "quillbox/list_layout.h"

#include <gtest/gtest.h>

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
