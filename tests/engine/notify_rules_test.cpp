#include "tidewell/engine/notify_rules.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "tidewell/engine/engine_state.h"
#include "tidewell/engine/notify_accounts.h"

namespace tidewell {
namespace {

// Records every platform call as a line; scripted results for plays,
// program starts and the list library.
class FakeHost : public NotifyHost {
 public:
  void PostCommand(unsigned command) override { Log("post " + std::to_string(command)); }
  void PostSoundDone() override {
    Log("sound-done");
    notices.push_back("posted");
  }
  int PlaySoundFile(const std::string& file) override {
    Log("play " + file);
    int result = play_results.count(file) ? play_results[file] : 1;
    if (result == 1) notices.push_back(file);
    return result;
  }
  void CloseSound() override { Log("close"); }
  int StartProgram(const std::string& path, const std::string& parameters, const std::string& folder,
                   bool no_duplicate) override {
    Log("start " + path + "|" + parameters + "|" + folder + "|" + (no_duplicate ? "1" : "0"));
    return start_results.count(path) ? start_results[path] : 1;
  }
  void SetNormalState() override { Log("normal"); }
  void ShowAccountIcon(int index, const NotifyAccount& account) override {
    Log("icon " + std::to_string(index) + " " + account.display_name);
  }
  void RemoveAccountIcons() override { Log("remove-icons"); }
  void ShowMessage(const std::string& text) override { Log("message " + text); }
  bool LoadList() override {
    Log("load-list");
    return list_loads;
  }
  bool ShowList(int count) override {
    Log("show-list " + std::to_string(count));
    return list_shows;
  }
  void ActivateList() override { Log("activate-list"); }
  void UnloadListAfterClose() override { Log("unload-list"); }

  void Log(const std::string& line) { log.push_back(line); }
  std::vector<std::string> Played() const {
    std::vector<std::string> played;
    for (const auto& line : log)
      if (line.rfind("play ", 0) == 0) played.push_back(line.substr(5));
    return played;
  }
  int Count(const std::string& line) const { return static_cast<int>(std::count(log.begin(), log.end(), line)); }

  std::vector<std::string> log;
  std::map<std::string, int> play_results;
  std::map<std::string, int> start_results;
  bool list_loads = true;
  bool list_shows = true;
  // Completion notices still to come, in order: one per successful play and
  // one per posted MM_MCINOTIFY.
  std::deque<std::string> notices;
};

// Delivers the completion notices one by one, as the message loop would.
void RunSoundSequence(Notifier& notifier, FakeHost& host, const std::vector<NotifyAccount>& accounts) {
  for (int guard = 0; !host.notices.empty() && guard < 100; ++guard) {
    host.notices.pop_front();
    notifier.SoundNotify(1, accounts);
  }
}

NotifyAccount Account(const char* name, int priority, int mails) {
  NotifyAccount a;
  a.display_name = name;
  a.priority = priority;
  a.server_mail_count = mails;
  a.sound_on = true;
  a.sound_file = std::string(name) + ".wav";
  return a;
}

struct SequenceCase {
  const char* label;
  std::vector<NotifyAccount> accounts;
  bool sound_check;
  std::vector<std::string> played;
};

TEST(SoundSequence, GeneralThenPrioritisedThenUnprioritisedInListOrder) {
  NotifyAccount silent = Account("silent", 0, 2);
  silent.sound_on = false;
  const SequenceCase cases[] = {
      {"priorities 2 and 1: only priority 1", {Account("a", 2, 1), Account("b", 1, 1)}, true,
       {"general.wav", "b.wav"}},
      {"priorities 0 and 0: both in list order", {Account("a", 0, 1), Account("b", 0, 1)}, true,
       {"general.wav", "a.wav", "b.wav"}},
      {"priorities 0 and 3: 3 first", {Account("a", 0, 1), Account("b", 3, 1)}, true,
       {"general.wav", "b.wav", "a.wav"}},
      {"priority 0 without mail is silent", {Account("a", 0, 0), Account("b", 0, 4)}, true,
       {"general.wav", "b.wav"}},
      {"prioritised account without mail is passed over", {Account("a", 1, 0), Account("b", 2, 1)}, true,
       {"general.wav", "b.wav"}},
      {"tie of priorities: first in list order", {Account("a", 1, 1), Account("b", 1, 1)}, true,
       {"general.wav", "a.wav"}},
      {"sound off for an account", {silent, Account("b", 0, 1)}, true, {"general.wav", "b.wav"}},
      {"no general sound: accounts still sound", {Account("a", 0, 1), Account("b", 2, 1)}, false,
       {"b.wav", "a.wav"}},
  };
  for (const SequenceCase& c : cases) {
    std::uint32_t flags = c.sound_check ? static_cast<std::uint32_t>(kSoundCheck) : 0u;
    FakeHost host;
    Notifier notifier(flags, host);
    NotifySettings settings;
    settings.sound_file = "general.wav";
    notifier.RunNewMailActions(settings, c.accounts);
    RunSoundSequence(notifier, host, c.accounts);
    EXPECT_EQ(host.Played(), c.played) << c.label;
    EXPECT_FALSE(flags & kSoundPlaying) << c.label;
    EXPECT_EQ(host.Count("post 32772"), 0) << c.label;  // End is off
  }
}

TEST(SoundSequence, AFailedGeneralSoundStopsTheSequenceAndSwitchesSoundOff) {
  std::vector<NotifyAccount> accounts = {Account("a", 0, 1)};
  std::uint32_t flags = kSoundCheck;
  FakeHost host;
  host.play_results["general.wav"] = -1;
  Notifier notifier(flags, host);
  NotifySettings settings;
  settings.sound_file = "general.wav";
  notifier.RunNewMailActions(settings, accounts);
  RunSoundSequence(notifier, host, accounts);
  EXPECT_EQ(host.Played(), std::vector<std::string>{"general.wav"});
  EXPECT_FALSE(flags & kSoundCheck);
  EXPECT_FALSE(flags & kSoundPlaying);
}

struct EndCase {
  const char* label;
  std::uint32_t flags;
  bool exits;
};

TEST(SoundSequence, EndOfTheSequenceEndsACheckOnceRun) {
  const EndCase cases[] = {
      {"End on", kEnd, true},
      {"End off", 0, false},
      {"error", kEnd | kCheckError, false},
      {"error disregarded", kEnd | kCheckError | kErrorDisregard, true},
      {"list opened by the new mail", kEnd | kListAutoOpened, false},
  };
  for (const EndCase& c : cases) {
    // Two unprioritised accounts: the exit comes once the last sound has
    // been started, and not again when it ends.
    std::vector<NotifyAccount> accounts = {Account("a", 0, 1), Account("b", 0, 1)};
    std::uint32_t flags = c.flags;
    FakeHost host;
    Notifier notifier(flags, host);
    // As after the actions with the general sound off.
    notifier.SoundNotify(1, accounts);  // prioritised step: none
    notifier.SoundNotify(1, accounts);  // a.wav
    EXPECT_EQ(host.Count("post 32772"), 0) << c.label;
    notifier.SoundNotify(1, accounts);  // b.wav: the sequence is over
    EXPECT_EQ(host.Count("post 32772"), c.exits ? 1 : 0) << c.label;
    EXPECT_EQ(host.Played(), (std::vector<std::string>{"a.wav", "b.wav"})) << c.label;
  }
}

TEST(SoundSequence, EndOfTheLastSoundWaitsForTheListWindow) {
  const EndCase cases[] = {
      {"End on", kEnd, true},
      {"list window open", kEnd | kListWindowOpen, false},
      {"list opened earlier but closed", kEnd | kListAutoOpened, true},
      {"error", kEnd | kCheckError, false},
      {"error disregarded", kEnd | kCheckError | kErrorDisregard, true},
  };
  for (const EndCase& c : cases) {
    std::vector<NotifyAccount> accounts = {Account("a", 0, 1)};
    std::uint32_t flags = c.flags;
    FakeHost host;
    Notifier notifier(flags, host);
    notifier.SoundNotify(1, accounts);  // prioritised step: none
    notifier.SoundNotify(1, accounts);  // a.wav, sequence over
    host.log.clear();
    notifier.SoundNotify(1, accounts);  // a.wav has ended
    EXPECT_EQ(host.Count("post 32772"), c.exits ? 1 : 0) << c.label;
    EXPECT_TRUE(host.Played().empty()) << c.label;
  }
}

TEST(SoundSequence, OnlySuccessfulNoticesCountAndEachClosesTheDevice) {
  std::vector<NotifyAccount> accounts = {Account("a", 0, 1)};
  std::uint32_t flags = kSoundPlaying;
  FakeHost host;
  Notifier notifier(flags, host);
  notifier.SoundNotify(2, accounts);  // superseded
  notifier.SoundNotify(4, accounts);  // aborted
  EXPECT_TRUE(host.log.empty());
  EXPECT_TRUE(flags & kSoundPlaying);
  notifier.SoundNotify(1, accounts);
  EXPECT_EQ(host.log.front(), "close");
  EXPECT_TRUE(flags & kPrioritySoundDone);
}

TEST(SoundSequence, AFailedAccountSoundStillEndsACheckOnceRun) {
  std::vector<NotifyAccount> accounts = {Account("a", 0, 1), Account("b", 0, 1)};
  std::uint32_t flags = kEnd | kSoundCheck;
  FakeHost host;
  host.play_results["a.wav"] = -1;
  Notifier notifier(flags, host);
  notifier.RunNewMailActions(NotifySettings{}, accounts);
  RunSoundSequence(notifier, host, accounts);
  EXPECT_EQ(host.Played(), (std::vector<std::string>{"", "a.wav"}));
  EXPECT_EQ(host.Count("post 32772"), 1);
  EXPECT_FALSE(flags & kSoundCheck);
}

TEST(SoundSequence, ADeviceFailureNoticeEndsTheSequence) {
  // Without an audio device the open and the play may succeed and the device
  // then reports failure (MCI_NOTIFY_FAILURE, 8) instead of an end.
  const EndCase cases[] = {
      {"End on", kEnd | kSoundCheck, true},
      {"End off", kSoundCheck, false},
      {"list opened by the new mail", kEnd | kSoundCheck | kListAutoOpened, false},
      {"error", kEnd | kSoundCheck | kCheckError, false},
      {"during a check", kEnd | kSoundCheck | kChecking, false},
  };
  for (const EndCase& c : cases) {
    std::vector<NotifyAccount> accounts = {Account("a", 0, 1)};
    std::uint32_t flags = c.flags;
    FakeHost host;
    Notifier notifier(flags, host);
    NotifySettings settings;
    settings.sound_file = "general.wav";
    notifier.RunNewMailActions(settings, accounts);
    ASSERT_TRUE(flags & kSoundPlaying) << c.label;
    notifier.SoundNotify(8, accounts);
    EXPECT_FALSE(flags & kSoundPlaying) << c.label;
    EXPECT_FALSE(flags & kSoundCheck) << c.label;
    EXPECT_EQ(host.Count("close"), 1) << c.label;
    EXPECT_EQ(host.Count("post 32772"), c.exits ? 1 : 0) << c.label;
    notifier.SoundNotify(1, accounts);  // nothing is left to play
    EXPECT_EQ(host.Played(), std::vector<std::string>{"general.wav"}) << c.label;
  }
}

TEST(SoundSequence, ANoticeDuringACheckIsDropped) {
  std::vector<NotifyAccount> accounts = {Account("a", 0, 1)};
  std::uint32_t flags = kEnd | kChecking;
  FakeHost host;
  Notifier notifier(flags, host);
  notifier.SoundNotify(1, accounts);
  notifier.SoundNotify(1, accounts);
  EXPECT_TRUE(host.Played().empty());
  EXPECT_EQ(host.Count("post 32772"), 0);
  EXPECT_EQ(host.Count("sound-done"), 0);
}

TEST(NewMailActions, RunInTheirOrder) {
  NotifyAccount a = Account("a", 0, 1);
  a.program_on = true;
  a.program_path = "a.exe";
  a.icon_on = true;
  NotifyAccount b = Account("b", 2, 3);
  b.program_on = true;
  b.program_path = "C:\\b\\b.exe";
  b.command_line = "-x";
  b.work_folder = "C:\\w";
  b.program_single_instance = true;
  NotifyAccount c = Account("c", 0, 0);  // no mail: nothing
  c.program_on = true;
  c.program_path = "c.exe";
  c.icon_on = true;
  NotifyAccount d = Account("d", 1, 2);  // prioritised but program off
  d.icon_on = true;
  std::vector<NotifyAccount> accounts = {a, b, c, d};

  std::uint32_t flags = kListOpen | kSoundCheck | kExecCheck | kExecDuplicate;
  FakeHost host;
  Notifier notifier(flags, host);
  NotifySettings settings;
  settings.sound_file = "new.wav";
  settings.exec_path = "mailer.exe";
  settings.exec_cmdline = "/new";
  settings.exec_work_folder = "D:\\";
  notifier.RunNewMailActions(settings, accounts);

  std::vector<std::string> expected = {
      "post 32776",
      "play new.wav",
      "start mailer.exe|/new|D:\\|1",
      "start C:\\b\\b.exe|-x|C:\\w|1",  // prioritised program first
      "start a.exe|||0",
      "icon 0 a",
      "icon 3 d",
  };
  EXPECT_EQ(host.log, expected);
  EXPECT_TRUE(flags & kListAutoOpened);
  EXPECT_TRUE(flags & kSoundPlaying);
}

struct ProgramCase {
  const char* label;
  std::uint32_t flags;
  int general_result;
  int account_result;
  int icon_reset;
  std::vector<std::string> log;
  bool exec_check_after;
};

TEST(NewMailActions, ProgramResultsAndTheNormalIcon) {
  const ProgramCase cases[] = {
      {"started, icon change on", kExecCheck | kExecIconChange, 1, 1, 0,
       {"sound-done", "start g.exe|||0", "normal", "start p.exe|||0"}, true},
      {"already running still sets the icon", kExecCheck | kExecIconChange, 0, 1, 0,
       {"sound-done", "start g.exe|||0", "normal", "start p.exe|||0"}, true},
      {"failure switches the general program off", kExecCheck | kExecIconChange, -1, 1, 0,
       {"sound-done", "start g.exe|||0", "start p.exe|||0"}, false},
      {"error keeps the mail icon", kExecCheck | kExecIconChange | kCheckError, 1, 1, 1,
       {"sound-done", "start g.exe|||0", "start p.exe|||0"}, true},
      {"account icon reset", kExecCheck, 1, 1, 1,
       {"sound-done", "start g.exe|||0", "start p.exe|||0", "normal"}, true},
      {"account icon reset after a failure: no", 0, 1, -1, 1, {"sound-done", "start p.exe|||0"}, false},
      {"account icon reset needs exactly 1", 0, 1, 1, 2, {"sound-done", "start p.exe|||0"}, false},
  };
  for (const ProgramCase& c : cases) {
    NotifyAccount p = Account("p", 1, 1);
    p.program_on = true;
    p.program_path = "p.exe";
    p.program_icon_reset = c.icon_reset;
    std::uint32_t flags = c.flags;
    FakeHost host;
    host.start_results["g.exe"] = c.general_result;
    host.start_results["p.exe"] = c.account_result;
    Notifier notifier(flags, host);
    NotifySettings settings;
    settings.exec_path = "g.exe";
    notifier.RunNewMailActions(settings, {p});
    EXPECT_EQ(host.log, c.log) << c.label;
    EXPECT_EQ((flags & kExecCheck) != 0, c.exec_check_after) << c.label;
  }
}

TEST(PrioritisedProgramAccount, SmallestNonzeroPriorityWithMailAndProgram) {
  auto with_program = [](const char* name, int priority, int mails, bool on = true) {
    NotifyAccount a = Account(name, priority, mails);
    a.program_on = on;
    return a;
  };
  const std::pair<std::vector<NotifyAccount>, int> cases[] = {
      {{with_program("a", 2, 1), with_program("b", 1, 1)}, 1},
      {{with_program("a", 1, 1), with_program("b", 1, 1)}, 0},
      {{with_program("a", 0, 1), with_program("b", 0, 1)}, -1},
      {{with_program("a", 1, 0), with_program("b", 3, 1)}, 1},
      {{with_program("a", 1, 1, false), with_program("b", 3, 1)}, 1},
      {{}, -1},
  };
  for (const auto& [accounts, index] : cases) EXPECT_EQ(PrioritisedProgramAccount(accounts), index);
}

struct ClickCase {
  const char* label;
  std::uint32_t flags;
  int receive_click;
  int normal_click;
  std::vector<std::string> log;
};

TEST(LeftClick, ActionByStateAndSettings) {
  const ClickCase cases[] = {
      {"checking, whatever the settings", kChecking | kMailShown, 1, 1, {"message メールチェック中"}},
      {"mail, receive click 1", kMailShown, 1, 0, {"post 32773"}},
      {"mail, receive click 2", kMailShown | kExecDuplicate, 2, 0,
       {"start g.exe|-a|W|1", "normal"}},
      {"mail, receive click 0 with the list library", kMailShown | kListLibraryPresent, 0, 0, {"post 32776"}},
      {"mail, receive click 0 without the list library", kMailShown, 0, 0, {}},
      {"mail, receive click 7 with the list library", kMailShown | kListLibraryPresent, 7, 0, {"post 32776"}},
      {"normal, normal click 1", 0, 1, 1, {"post 32776"}},
      {"normal, normal click 1 without library", 0, 0, 1, {"post 32776"}},
      {"normal, normal click 0", kListLibraryPresent, 0, 0, {"post 32773"}},
      {"normal, normal click 5", 0, 0, 5, {"post 32773"}},
  };
  for (const ClickCase& c : cases) {
    std::uint32_t flags = c.flags;
    FakeHost host;
    host.start_results["g.exe"] = -1;  // the normal state follows whatever the result
    Notifier notifier(flags, host);
    NotifySettings settings;
    settings.receive_click = c.receive_click;
    settings.normal_click = c.normal_click;
    settings.exec_path = "g.exe";
    settings.exec_cmdline = "-a";
    settings.exec_work_folder = "W";
    notifier.LeftClick(settings);
    EXPECT_EQ(host.log, c.log) << c.label;
  }
}

struct ListCase {
  const char* label;
  std::uint32_t flags;
  bool loads;
  std::vector<std::string> log;
  bool open_after;
};

TEST(ListCommand, OpensTheListOnce) {
  const ListCase cases[] = {
      {"opens", kListOpen, true, {"normal", "load-list", "show-list 3"}, true},
      {"ListOpen off removes the account icons", 0, true,
       {"remove-icons", "normal", "load-list", "show-list 3"}, true},
      {"opened by new mail keeps the icon", kListOpen | kListAutoOpened, true, {"load-list", "show-list 3"}, true},
      {"during a check", kListOpen | kChecking, true, {"message メールチェック中"}, false},
      {"already open", kListOpen | kListWindowOpen, true, {"activate-list"}, true},
      {"library or ListShow missing", kListOpen, false, {"normal", "load-list"}, false},
      {"missing when new mail opens it", kListOpen | kListAutoOpened, false, {"load-list"}, false},
      {"missing when new mail opens it in a check-once run", kListOpen | kListAutoOpened | kEnd, false,
       {"load-list", "post 32772"}, false},
      {"missing, check-once run, opened by hand", kListOpen | kEnd, false, {"normal", "load-list"}, false},
  };
  for (const ListCase& c : cases) {
    std::uint32_t flags = c.flags;
    FakeHost host;
    host.list_loads = c.loads;
    Notifier notifier(flags, host);
    notifier.ListCommand(3);
    EXPECT_EQ(host.log, c.log) << c.label;
    EXPECT_EQ((flags & kListWindowOpen) != 0, c.open_after) << c.label;
  }
}

TEST(ListCommand, ListShowWithoutAWindowLeavesTheListClosed) {
  const ListCase cases[] = {
      {"opened by hand", kListOpen, true, {"normal", "load-list", "show-list 3"}, false},
      {"opened by new mail, check-once run ends", kListOpen | kListAutoOpened | kEnd, true,
       {"load-list", "show-list 3", "post 32772"}, false},
      {"opened by new mail, End off", kListOpen | kListAutoOpened, true, {"load-list", "show-list 3"}, false},
      {"check-once run, during the exit", kListOpen | kListAutoOpened | kEnd | kExiting, true,
       {"load-list", "show-list 3"}, false},
  };
  for (const ListCase& c : cases) {
    std::uint32_t flags = c.flags;
    FakeHost host;
    host.list_shows = false;
    Notifier notifier(flags, host);
    notifier.ListCommand(3);
    EXPECT_EQ(host.log, c.log) << c.label;
    EXPECT_EQ((flags & kListWindowOpen) != 0, c.open_after) << c.label;
  }
}

TEST(ListClosed, UnloadsAndEndsACheckOnceRun) {
  const ListCase cases[] = {
      {"opened by hand", kListWindowOpen, false, {"unload-list"}, false},
      {"ListOpen on removes the account icons", kListWindowOpen | kListOpen, false,
       {"unload-list", "remove-icons"}, false},
      {"opened by new mail", kListWindowOpen | kListAutoOpened, false, {"unload-list", "normal"}, false},
      {"opened by new mail, End on", kListWindowOpen | kListAutoOpened | kEnd, false,
       {"unload-list", "normal", "post 32772"}, false},
      {"End on but opened by hand", kListWindowOpen | kEnd, false, {"unload-list"}, false},
      {"closed by the exit", kListWindowOpen | kListAutoOpened | kEnd | kExiting, false, {"unload-list"}, false},
  };
  for (const ListCase& c : cases) {
    std::uint32_t flags = c.flags;
    FakeHost host;
    Notifier notifier(flags, host);
    notifier.ListClosed();
    EXPECT_EQ(host.log, c.log) << c.label;
    EXPECT_FALSE(flags & kListWindowOpen) << c.label;
    EXPECT_EQ((flags & kListAutoOpened) != 0, (c.flags & kListAutoOpened) != 0) << c.label;
  }
}

TEST(ExternalProgramRules, DuplicateSearchAndLaunchFolder) {
  const std::string nt_list = "C:\\Windows\\explorer.exe\r\nC:\\Tools\\Mailer.exe\r\n";
  const std::string w9x_list = "EXPLORER.EXE\r\nMailer.exe\r\n";
  EXPECT_TRUE(ProgramAlreadyRunning(nt_list, "C:\\Tools\\Mailer.exe"));
  EXPECT_FALSE(ProgramAlreadyRunning(nt_list, "D:\\Tools\\Mailer.exe"));  // another copy
  EXPECT_FALSE(ProgramAlreadyRunning(nt_list, "C:\\Tools\\mailer.exe"));  // exact case
  EXPECT_TRUE(ProgramAlreadyRunning(nt_list, "Mailer.exe"));              // bare name
  EXPECT_TRUE(ProgramAlreadyRunning(w9x_list, "D:\\Other\\Mailer.exe"));  // list of bare names
  EXPECT_FALSE(ProgramAlreadyRunning("", "Mailer.exe"));

  const struct {
    std::string path, work, file, folder;
  } cases[] = {
      {"tool.exe", "", "C:\\Data\\tool.exe", "C:\\Data"},
      {"tool.exe", "E:\\Work", "C:\\Data\\tool.exe", "E:\\Work"},
      {"D:\\Apps\\tool.exe", "", "D:\\Apps\\tool.exe", "D:\\Apps"},
      {"D:\\Apps\\tool.exe", "E:\\Work", "D:\\Apps\\tool.exe", "E:\\Work"},
      // "ソ" ends with byte 0x5C: not a separator.
      {"ソフト.exe", "", "C:\\Data\\ソフト.exe", "C:\\Data"},
  };
  for (const auto& c : cases) {
    LaunchTarget target = ResolveLaunchTarget(c.path, c.work, "C:\\Data");
    EXPECT_EQ(target.file, c.file) << c.path;
    EXPECT_EQ(target.folder, c.folder) << c.path;
  }
  EXPECT_EQ(ProgramStartFailedMessage("x.exe"), "x.exeが起動できませんでした。");
}

TEST(ToNotifyAccounts, TakesTheAccountFieldsAndTheCountsOfThisCheck) {
  AccountList accounts(2);
  accounts[0].display_name = "first";
  accounts[0].priority = 2;
  accounts[0].icon_flag = 1;
  accounts[0].icon_file = "i.ico";
  accounts[0].icon_index = 3;
  accounts[0].sound_flag = 1;
  accounts[0].sound_file = "s.wav";
  accounts[0].exec_flag = 1;
  accounts[0].program_path = "p.exe";
  accounts[0].command_line = "-c";
  accounts[0].work_folder = "W";
  accounts[0].no_duplicate = 1;
  accounts[0].icon_to_normal = 1;
  accounts[1].display_name = "second";
  std::vector<NotifyAccount> n = ToNotifyAccounts(accounts, {5});
  ASSERT_EQ(n.size(), 2u);
  EXPECT_EQ(n[0].display_name, "first");
  EXPECT_EQ(n[0].priority, 2);
  EXPECT_TRUE(n[0].icon_on && n[0].sound_on && n[0].program_on && n[0].program_single_instance);
  EXPECT_EQ(n[0].icon_file + n[0].sound_file + n[0].program_path + n[0].command_line + n[0].work_folder,
            "i.icos.wavp.exe-cW");
  EXPECT_EQ(n[0].icon_index, 3);
  EXPECT_EQ(n[0].program_icon_reset, 1);
  EXPECT_EQ(n[0].server_mail_count, 5);
  EXPECT_FALSE(n[1].icon_on || n[1].sound_on || n[1].program_on || n[1].program_single_instance);
  EXPECT_EQ(n[1].server_mail_count, 0);
  EXPECT_EQ(DisplayNames(accounts), (std::vector<std::string>{"first", "second"}));
}

}  // namespace
}  // namespace tidewell
