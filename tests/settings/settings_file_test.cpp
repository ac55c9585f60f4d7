// Tidewell.ini through the in-memory profile: the reading conventions of the
// profile functions, the key table, the engine load and the page groups.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>

#include "profile_cases.h"
#include "tidewell/settings/memory_profile.h"
#include "common/paths.h"
#include "tidewell/settings/settings_file.h"
#include "text_round_trip.h"

namespace tidewell {
namespace {

const std::string kFolder = "data";
const std::string kIni = SettingsFilePath(kFolder);

TEST(MemoryProfile, ReadsValuesLikeTheProfileFunctions) {
  for (const ProfileReadCase& c : kProfileReadCases) {
    MemoryProfile p;
    p.WriteString(kIni, "S", "K", c.raw);
    EXPECT_EQ(p.GetInt(kIni, "S", "K", kProfileCaseDefault), c.as_int) << "value [" << c.raw << "]";
    EXPECT_EQ(p.GetString(kIni, "S", "K", "dflt"), c.as_text) << "value [" << c.raw << "]";
  }
}

TEST(MemoryProfile, MissingFileOrKeyGivesTheDefaultAndNamesIgnoreCase) {
  MemoryProfile p;
  EXPECT_EQ(p.GetInt(kIni, "Message", "Time", 10), 10);
  EXPECT_EQ(p.GetString(kIni, "Message", "Sound", "d"), "d");
  p.WriteString(kIni, "message", "TIME", "3");
  EXPECT_EQ(p.GetInt(kIni, "Message", "Time", 10), 3);
  EXPECT_EQ(p.GetInt(kIni, "Message", "Other", 10), 10);
  EXPECT_EQ(p.GetInt("other.ini", "Message", "Time", 10), 10);
  p.WriteString(kIni, "MESSAGE", "time", "4");
  EXPECT_EQ(p.Entries(kIni).size(), 1u);  // the same key, rewritten
}

TEST(MemoryProfile, TextIsCutToTheBuffer) {
  MemoryProfile p;
  p.WriteString(kIni, "Receive", "Exec", std::string(10000, 'a') + "b");
  EXPECT_EQ(p.GetString(kIni, "Receive", "Exec", ""), std::string(9999, 'a'));
  EXPECT_EQ(p.GetString(kIni, "Receive", "Exec", "", 260), std::string(259, 'a'));
}

TEST(SettingsFile, NoFileGivesTheDocumentedDefaults) {
  MemoryProfile p;
  const EngineOptions o = LoadEngineOptions(p, kFolder);
  EXPECT_EQ(o.flags, kFastCheck | kBalloon);  // the only options on by default
  EXPECT_EQ(o.time, 10);
  EXPECT_EQ(o.timeout, 5);
  EXPECT_EQ(o.normal_click, 0);
  EXPECT_EQ(o.receive_click, 0);
  const IconChoice icon = ReadIconChoice(p, kFolder, TrayIconState::kReceive);
  EXPECT_FALSE(icon.use_own);
  EXPECT_EQ(icon.path, "");
  EXPECT_EQ(icon.index, 0);
  EXPECT_EQ(ReadSettingText(p, kFolder, kSectionReceive, "Sound"), "");
  EXPECT_FALSE(p.HasFile(kIni));  // reading never creates the file
}

TEST(SettingsFile, ExitWritesOnlyTimeout) {
  MemoryProfile p;
  const EngineOptions o = LoadEngineOptions(p, kFolder);
  WriteTimeout(p, kFolder, o.timeout);
  const auto entries = p.Entries(kIni);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0], (std::vector<std::string>{"Message", "Timeout", "5"}));
  WriteTimeout(p, kFolder, -3);
  EXPECT_EQ(p.Entries(kIni)[0][2], "-3");
}

// Flags of Message and Receive count by their lowest bit; the engine bit of
// each key is set from its own key only.
TEST(SettingsFile, EngineLoadSetsEachFlagFromItsKeyByTheLowestBit) {
  struct Case {
    const char* section;
    const char* key;
    std::uint32_t bit;
  };
  const Case cases[] = {
      {"Message", "TimeCheck", kTimeCheck},       {"Message", "Start", kStart},
      {"Message", "End", kEnd},                   {"Message", "MsgCheck", kMsgCheck},
      {"Message", "NewMessage", kNewMessage},     {"Message", "ExceptProgram", kExceptProgram},
      {"Message", "ErrorDisregard", kErrorDisregard}, {"Receive", "ExecCheck", kExecCheck},
      {"Receive", "ExecDuplicate", kExecDuplicate}, {"Receive", "ExecIconChange", kExecIconChange},
      {"Receive", "SoundCheck", kSoundCheck},     {"Receive", "ListOpen", kListOpen},
      {"Message", "FastCheck", kFastCheck},       {"Message", "Balloon", kBalloon},
  };
  const std::pair<const char*, bool> values[] = {{"1", true}, {"3", true}, {"2", false}, {"0", false},
                                                 {"x", false}, {"-1", true}};
  for (const Case& c : cases) {
    for (const auto& v : values) {
      MemoryProfile p;
      p.WriteString(kIni, c.section, c.key, v.first);
      if (c.bit != kFastCheck) p.WriteString(kIni, "Message", "FastCheck", "0");
      if (c.bit != kBalloon) p.WriteString(kIni, "Message", "Balloon", "0");
      const EngineOptions o = LoadEngineOptions(p, kFolder);
      EXPECT_EQ(o.flags, v.second ? c.bit : 0u) << c.key << "=" << v.first;
    }
  }
}

TEST(SettingsFile, EngineLoadReadsTheIntegers) {
  MemoryProfile p;
  p.WriteString(kIni, "Message", "Time", "0");
  p.WriteString(kIni, "Message", "Timeout", "-2");
  p.WriteString(kIni, "Icon", "NormalClick", "1");
  p.WriteString(kIni, "Icon", "ReceiveClick", "2");
  const EngineOptions o = LoadEngineOptions(p, kFolder);
  EXPECT_EQ(o.time, 0);  // stored as typed
  EXPECT_EQ(o.timeout, -2);
  EXPECT_EQ(EffectiveTimeout(o.timeout), 5);
  EXPECT_EQ(EffectiveTimeout(0), 5);
  EXPECT_EQ(EffectiveTimeout(1), 1);
  EXPECT_EQ(o.normal_click, 1);
  EXPECT_EQ(o.receive_click, 2);
}

TEST(SettingsFile, MergeKeepsTheEngineStateBits) {
  const std::uint32_t word = kMailShown | kChecking | kListLibraryPresent | kTimeCheck | kEnd;
  EXPECT_EQ(MergeOptionFlags(word, kStart | kListOpen),
            kMailShown | kChecking | kListLibraryPresent | kStart | kListOpen);
  EXPECT_EQ(MergeOptionFlags(word, kMailShown), kMailShown | kChecking | kListLibraryPresent);
}

TEST(SettingsFile, IconCheckKeysAreOnOnlyWhenExactlyOne) {
  const std::pair<const char*, bool> values[] = {{"1", true}, {"3", false}, {"2", false}, {"01", true}, {"0", false}};
  const std::pair<TrayIconState, const char*> states[] = {{TrayIconState::kNormal, "NormalCheck"},
                                                          {TrayIconState::kReceive, "ReceiveCheck"},
                                                          {TrayIconState::kConnect, "ConnectCheck"}};
  for (const auto& s : states) {
    for (const auto& v : values) {
      MemoryProfile p;
      p.WriteString(kIni, "Icon", s.second, v.first);
      EXPECT_EQ(ReadIconChoice(p, kFolder, s.first).use_own, v.second) << s.second << "=" << v.first;
      const IconPageValues page = LoadIconPage(p, kFolder);
      const IconChoice& c = s.first == TrayIconState::kNormal    ? page.normal
                            : s.first == TrayIconState::kReceive ? page.receive
                                                                 : page.connect;
      EXPECT_EQ(c.use_own, v.second) << s.second << "=" << v.first;
    }
  }
}

TEST(SettingsFile, IconChoiceReadsItsOwnState) {
  MemoryProfile p;
  p.WriteString(kIni, "Icon", "NormalCheck", "1");
  p.WriteString(kIni, "Icon", "Normal", "C:\\n.ico");
  p.WriteString(kIni, "Icon", "NormalNumber", "2");
  p.WriteString(kIni, "Icon", "ConnectCheck", "1");
  p.WriteString(kIni, "Icon", "Connect", "C:\\c.dll");
  p.WriteString(kIni, "Icon", "ConnectNumber", "7");
  const IconChoice n = ReadIconChoice(p, kFolder, TrayIconState::kNormal);
  const IconChoice r = ReadIconChoice(p, kFolder, TrayIconState::kReceive);
  const IconChoice c = ReadIconChoice(p, kFolder, TrayIconState::kConnect);
  EXPECT_TRUE(n.use_own);
  EXPECT_EQ(n.path, "C:\\n.ico");
  EXPECT_EQ(n.index, 2);
  EXPECT_FALSE(r.use_own);
  EXPECT_EQ(r.path, "");
  EXPECT_TRUE(c.use_own);
  EXPECT_EQ(c.path, "C:\\c.dll");
  EXPECT_EQ(c.index, 7);
}

// Each page reads and writes exactly the keys that the table gives it.
TEST(SettingsFile, PageGroupsCoverExactlyTheirKeys) {
  struct Page {
    SettingPage page;
    void (*save)(Profile&, const std::string&);
    void (*load)(Profile&, const std::string&);
  };
  const Page pages[] = {
      {SettingPage::kMessage, [](Profile& p, const std::string& f) { SaveMessagePage(p, f, {}); },
       [](Profile& p, const std::string& f) { LoadMessagePage(p, f); }},
      {SettingPage::kReceive, [](Profile& p, const std::string& f) { SaveReceivePage(p, f, {}); },
       [](Profile& p, const std::string& f) { LoadReceivePage(p, f); }},
      {SettingPage::kIcon, [](Profile& p, const std::string& f) { SaveIconPage(p, f, {}); },
       [](Profile& p, const std::string& f) { LoadIconPage(p, f); }},
      {SettingPage::kClick, [](Profile& p, const std::string& f) { SaveClickPage(p, f, {}); },
       [](Profile& p, const std::string& f) { LoadClickPage(p, f); }},
  };
  for (const Page& page : pages) {
    std::set<std::pair<std::string, std::string>> expected;
    for (std::size_t i = 0; i < kSettingKeyCount; ++i)
      if (kSettingKeys[i].page == page.page) expected.emplace(kSettingKeys[i].section, kSettingKeys[i].key);
    ASSERT_FALSE(expected.empty());

    MemoryProfile p;
    page.save(p, kFolder);
    std::set<std::pair<std::string, std::string>> written;
    for (const auto& e : p.Entries(kIni)) written.emplace(e[0], e[1]);
    EXPECT_EQ(written, expected);
    EXPECT_EQ(p.Entries(kIni).size(), expected.size());  // one write per key

    page.load(p, kFolder);
    std::set<std::pair<std::string, std::string>> read(p.Reads().begin(), p.Reads().end());
    EXPECT_EQ(read, expected);
  }
}

TEST(SettingsFile, EngineLoadReadsTheKeysTheTableGivesIt) {
  MemoryProfile p;
  LoadEngineOptions(p, kFolder);
  std::set<std::pair<std::string, std::string>> expected;
  for (std::size_t i = 0; i < kSettingKeyCount; ++i)
    if (kSettingKeys[i].readers & kReadByEngineLoad) expected.emplace(kSettingKeys[i].section, kSettingKeys[i].key);
  std::set<std::pair<std::string, std::string>> read(p.Reads().begin(), p.Reads().end());
  EXPECT_EQ(read, expected);
  EXPECT_EQ(p.Reads().size(), 18u);
  EXPECT_EQ(p.Reads().front(), std::make_pair(std::string("Message"), std::string("TimeCheck")));
  EXPECT_EQ(p.Reads().back(), std::make_pair(std::string("Message"), std::string("Balloon")));
}

TEST(SettingsFile, PagesRoundTripThroughTheFile) {
  MemoryProfile p;
  MessagePageValues m;
  m.time_check = true;
  m.time = -7;
  m.end = true;
  m.error_disregard = true;
  SaveMessagePage(p, kFolder, m);
  ReceivePageValues r;
  r.sound_check = true;
  r.sound = "C:\\a.wav";
  r.exec = "C:\\p.exe";
  r.exec_cmdline = "-x \"y\"";
  r.exec_work_folder = "C:\\w";
  r.exec_icon_change = true;
  r.list_open = true;
  r.balloon = false;  // on by default: off must reach the file
  SaveReceivePage(p, kFolder, r);
  IconPageValues i;
  i.receive = {true, "C:\\r.ico", 3};
  SaveIconPage(p, kFolder, i);
  SaveClickPage(p, kFolder, {1, 2});

  const MessagePageValues m2 = LoadMessagePage(p, kFolder);
  EXPECT_TRUE(m2.time_check);
  EXPECT_EQ(m2.time, -7);
  EXPECT_FALSE(m2.start);
  EXPECT_TRUE(m2.end);
  EXPECT_TRUE(m2.error_disregard);
  EXPECT_FALSE(m2.msg_check);
  const ReceivePageValues r2 = LoadReceivePage(p, kFolder);
  EXPECT_TRUE(r2.sound_check);
  EXPECT_EQ(r2.sound, r.sound);
  EXPECT_FALSE(r2.exec_check);
  EXPECT_EQ(r2.exec, r.exec);
  EXPECT_EQ(r2.exec_cmdline, r.exec_cmdline);
  EXPECT_EQ(r2.exec_work_folder, r.exec_work_folder);
  EXPECT_FALSE(r2.exec_duplicate);
  EXPECT_TRUE(r2.exec_icon_change);
  EXPECT_TRUE(r2.list_open);
  EXPECT_FALSE(r2.balloon);
  EXPECT_TRUE(LoadReceivePage(*std::make_unique<MemoryProfile>(), kFolder).balloon) << "on without a file";
  const IconPageValues i2 = LoadIconPage(p, kFolder);
  EXPECT_FALSE(i2.normal.use_own);
  EXPECT_TRUE(i2.receive.use_own);
  EXPECT_EQ(i2.receive.path, "C:\\r.ico");
  EXPECT_EQ(i2.receive.index, 3);
  const ClickPageValues c2 = LoadClickPage(p, kFolder);
  EXPECT_EQ(c2.normal_click, 1);
  EXPECT_EQ(c2.receive_click, 2);
  // Flags go to the file as "0"/"1".
  for (const auto& e : p.Entries(kIni)) {
    const SettingKey* k = FindSettingKey(e[0].c_str(), e[1].c_str());
    ASSERT_NE(k, nullptr) << e[1];
    if (k->type == SettingType::kFlag) {
      EXPECT_TRUE(e[2] == "0" || e[2] == "1") << e[1] << "=" << e[2];
    }
  }
  // The engine sees what the pages wrote.
  const EngineOptions o = LoadEngineOptions(p, kFolder);
  EXPECT_EQ(o.flags, kTimeCheck | kEnd | kErrorDisregard | kSoundCheck | kExecIconChange | kListOpen | kFastCheck);
  EXPECT_EQ(o.time, -7);
  EXPECT_EQ(o.receive_click, 2);
}

TEST(SettingsFile, EveryTextKeyReadsBackExactly) {
  MemoryProfile p;
  ExpectTextKeysRoundTrip(p, kFolder);
  EXPECT_EQ(ProfileTextToWrite("C:\\a b"), "C:\\a b");  // nothing to protect: written as it is
}

TEST(SettingsFile, FailedWritesAreIgnored) {
  MemoryProfile p;
  p.FailWrites(true);
  SaveMessagePage(p, kFolder, {});
  WriteTimeout(p, kFolder, 5);
  EXPECT_FALSE(p.HasFile(kIni));
  EXPECT_EQ(LoadEngineOptions(p, kFolder).time, 10);
}

}  // namespace
}  // namespace tidewell
