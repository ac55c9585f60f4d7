// Placement, wrapping and font of the message window, kept in Quillbox.ini
// section "MessageWindow": read when the window opens, written when it is
// closed. The same keys are written by the list library's window and by the
// standalone viewer.
#pragma once

#include <string>

namespace tidewell {

constexpr const char kMessageWindowSection[] = "MessageWindow";
// Bytes read for FontName (a LOGFONT face name), terminator included.
constexpr int kFaceNameBuffer = 32;
// Smallest window the user can make.
constexpr int kMinWindowWidth = 200;
constexpr int kMinWindowHeight = 150;

struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const WindowRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

struct MessageWindowSettings {
  WindowRect rect{50, 50, 450, 350};
  bool wrap = false;
  std::string font_name;  // Shift_JIS face name, at most kFaceNameBuffer - 1 bytes
  int font_size = 110;    // tenths of a point
  int font_weight = 0;
  int font_italic = 0;
  int font_charset = 128;
};

// Profile access to one section; Windows binds it to the profile functions.
class ProfileSection {
 public:
  virtual ~ProfileSection() = default;
  virtual int GetInt(const char* key, int fallback) = 0;
  // At most size - 1 bytes.
  virtual std::string GetString(const char* key, const std::string& fallback, int size) = 0;
  virtual void WriteString(const char* key, const std::string& value) = 0;
};

// The face name used when none is stored: "ＭＳ ゴシック" in Shift_JIS.
const std::string& DefaultFaceName();

// Reads the keys. A rectangle with a negative top or left, a right or bottom
// beyond the desktop's (desktop_right, desktop_bottom), or no width or
// height, is replaced by 50, 50, 350, 200.
MessageWindowSettings ReadMessageWindowSettings(ProfileSection& profile, int desktop_right, int desktop_bottom);

// Writes every key as decimal text (AutoWordWrap 0 or 1).
void WriteMessageWindowSettings(ProfileSection& profile, const MessageWindowSettings& settings);

// LOGFONT height of a size in tenths of a point on a display with dpi pixels
// per inch: the whole points (tenths rounded down) scaled and negated, as
// -MulDiv(points, dpi, 72).
int FontHeight(int font_size_tenths, int dpi);

// A normal-placement rectangle fit to restore the window at: one with a
// negative top or left, or smaller than the smallest window, becomes
// (0, 0, 400, 300).
WindowRect UsablePlacement(const WindowRect& rect);

}  // namespace tidewell
