// Placement rules of the list window: the stored rectangle is used only when
// it lies on the desktop, and a window closed while minimised saves the
// rectangle it had before unless that one is unusable.
#pragma once

namespace tidewell {

struct ListRect {
  long left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const ListRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// Defaults of [Window] in Quillbox.ini.
constexpr ListRect kDefaultListRect{50, 50, 350, 200};
// Smallest tracking size of the list window.
constexpr long kListMinWidth = 200;
constexpr long kListMinHeight = 150;

// The rectangle to open the window at: stored, or the default when stored
// reaches past the desktop's top, left, right or bottom edge.
inline ListRect OpeningRect(const ListRect& stored, const ListRect& desktop) {
  if (stored.top < 0 || stored.left < 0 || stored.right > desktop.right || stored.bottom > desktop.bottom)
    return kDefaultListRect;
  return stored;
}

// The rectangle to save at close: the window rectangle; when minimised the
// restored rectangle, or the previous one when the restored rectangle is off
// the top or left edge or smaller than the minimum size.
inline ListRect ClosingRect(bool minimized, const ListRect& window, const ListRect& restored,
                            const ListRect& previous) {
  if (!minimized) return window;
  if (restored.top < 0 || restored.left < 0 || restored.right - restored.left < kListMinWidth ||
      restored.bottom - restored.top < kListMinHeight)
    return previous;
  return restored;
}

// Column widths are stored in 96-DPI pixels: scaled to the window's DPI when
// the columns are made and back when they are stored, rounded to the nearest
// pixel (so a stored width survives the round trip at any DPI from 96 up).
inline int WidthForDpi(int stored, int dpi) {
  if (dpi <= 0 || dpi == 96) return stored;
  const long long scaled = static_cast<long long>(stored) * dpi;
  return static_cast<int>(scaled >= 0 ? (scaled + 48) / 96 : -((-scaled + 48) / 96));
}
inline int WidthAt96(int shown, int dpi) {
  if (dpi <= 0 || dpi == 96) return shown;
  const long long scaled = static_cast<long long>(shown) * 96;
  const long long half = dpi / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / dpi : -((-scaled + half) / dpi));
}

// The toolbar's picture size for a DPI: 16 x 15 up to 143, 24 x 23 from 144
// (150 %), 32 x 30 from 192 (200 %).
inline int ToolbarImageSize(int dpi) { return dpi >= 192 ? 32 : dpi >= 144 ? 24 : 16; }

}  // namespace tidewell
