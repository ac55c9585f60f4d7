// The message window's Quillbox.ini keys and the standalone viewer's command
// line.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "viewer/command_line.h"
#include "viewer/message_window_settings.h"

namespace tidewell {
namespace {

// One profile section held in memory; GetString cuts like the profile
// functions do (size - 1 bytes).
class MapSection : public ProfileSection {
 public:
  std::map<std::string, std::string> keys;
  int GetInt(const char* key, int fallback) override {
    auto it = keys.find(key);
    return it == keys.end() ? fallback : std::stoi(it->second);
  }
  std::string GetString(const char* key, const std::string& fallback, int size) override {
    auto it = keys.find(key);
    return (it == keys.end() ? fallback : it->second).substr(0, size - 1);
  }
  void WriteString(const char* key, const std::string& value) override { keys[key] = value; }
};

TEST(MessageWindowSettings, DefaultsWhenNothingIsStored) {
  MapSection profile;
  const MessageWindowSettings s = ReadMessageWindowSettings(profile, 1024, 768);
  EXPECT_EQ(s.rect, (WindowRect{50, 50, 450, 350}));
  EXPECT_FALSE(s.wrap);
  EXPECT_EQ(s.font_name, "ＭＳ ゴシック");
  EXPECT_EQ(s.font_size, 110);
  EXPECT_EQ(s.font_weight, 0);
  EXPECT_EQ(s.font_italic, 0);
  EXPECT_EQ(s.font_charset, 128);
}

TEST(MessageWindowSettings, RectanglesOffTheDesktopFallBack) {
  struct Case {
    const char* name;
    int left, top, right, bottom;
    WindowRect expected;
  } cases[] = {
      {"inside", 10, 20, 610, 420, {10, 20, 610, 420}},
      {"on the edge", 0, 0, 1024, 768, {0, 0, 1024, 768}},
      {"beyond right", 900, 50, 1100, 300, {50, 50, 350, 200}},
      {"beyond bottom", 50, 600, 400, 800, {50, 50, 350, 200}},
      {"negative top", 50, -5, 400, 300, {50, 50, 350, 200}},
      {"negative left", -1, 50, 400, 300, {50, 50, 350, 200}},
      {"no width", 300, 50, 300, 300, {50, 50, 350, 200}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MapSection profile;
    profile.keys = {{"Left", std::to_string(c.left)}, {"Top", std::to_string(c.top)},
                    {"Right", std::to_string(c.right)}, {"Bottom", std::to_string(c.bottom)}};
    EXPECT_EQ(ReadMessageWindowSettings(profile, 1024, 768).rect, c.expected);
  }
}

TEST(MessageWindowSettings, WrapReadsBitZeroAndRoundTrips) {
  MapSection profile;
  profile.keys["AutoWordWrap"] = "3";
  EXPECT_TRUE(ReadMessageWindowSettings(profile, 1024, 768).wrap);
  profile.keys["AutoWordWrap"] = "2";
  EXPECT_FALSE(ReadMessageWindowSettings(profile, 1024, 768).wrap);

  MessageWindowSettings s;
  s.rect = {11, 22, 333, 444};
  s.wrap = true;
  s.font_name = "ＭＳ 明朝";
  s.font_size = 105;
  s.font_weight = 700;
  s.font_italic = 1;
  s.font_charset = 0;
  MapSection out;
  WriteMessageWindowSettings(out, s);
  EXPECT_EQ(out.keys, (std::map<std::string, std::string>{{"Top", "22"},
                                                           {"Bottom", "444"},
                                                           {"Right", "333"},
                                                           {"Left", "11"},
                                                           {"AutoWordWrap", "1"},
                                                           {"FontName", "ＭＳ 明朝"},
                                                           {"FontSize", "105"},
                                                           {"FontItalic", "1"},
                                                           {"FontWeight", "700"},
                                                           {"FontCharSet", "0"}}));
  const MessageWindowSettings back = ReadMessageWindowSettings(out, 1024, 768);
  EXPECT_EQ(back.rect, s.rect);
  EXPECT_TRUE(back.wrap);
  EXPECT_EQ(back.font_name, s.font_name);
  EXPECT_EQ(back.font_size, 105);
  EXPECT_EQ(back.font_weight, 700);
}

TEST(MessageWindowSettings, FontHeightUsesWholePoints) {
  EXPECT_EQ(FontHeight(105, 96), -13);  // 10 points
  EXPECT_EQ(FontHeight(110, 96), -15);  // 11 points, 14.67 rounded
  EXPECT_EQ(FontHeight(90, 120), -15);
  EXPECT_EQ(FontHeight(9, 96), 0);
}

TEST(MessageWindowSettings, UsablePlacement) {
  EXPECT_EQ(UsablePlacement({10, 10, 210, 160}), (WindowRect{10, 10, 210, 160}));
  EXPECT_EQ(UsablePlacement({10, 10, 209, 160}), (WindowRect{0, 0, 400, 300}));
  EXPECT_EQ(UsablePlacement({10, 10, 210, 159}), (WindowRect{0, 0, 400, 300}));
  EXPECT_EQ(UsablePlacement({-1, 10, 300, 300}), (WindowRect{0, 0, 400, 300}));
}

TEST(CommandLine, PathRules) {
  const struct {
    const char* line;
    const char* path;
  } cases[] = {
      {"C:\\Mail Data\\Mail\\abc", "C:\\Mail Data\\Mail\\abc"},
      {"\"C:\\Mail Data\\Mail\\abc\"", "C:\\Mail Data\\Mail\\abc"},
      {"\"C:\\メール 保存\\会議.eml\"", "C:\\メール 保存\\会議.eml"},
      {"C:\\メール 保存\\会議.eml", "C:\\メール 保存\\会議.eml"},
      {"  C:\\a b.eml \t", "C:\\a b.eml"},
      {"\"C:\\a b.eml", "C:\\a b.eml"},
      {"\"", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(PathFromCommandLine(c.line), c.path) << c.line;
}

}  // namespace
}  // namespace tidewell
