// CSetDlg: the modal property sheet "設定" with its five pages in tab order:
//   CPropPg1 "メッセージ" (106), CPropPg3 "受信時処理" (137), CPropPg4 "アイコン"
//   (138), CPropPg5 "左クリック" (149), CPropPg2 "アカウント" (107).
// Each page loads its keys when its window is first created and writes them
// when the sheet is applied (OK or Apply); a page never shown is neither
// loaded nor written. After the sheet closes, flags() tells the engine
// whether to reload (EngineReloadsAfterSheet).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <initializer_list>
#include <string>

#include "common/codec_calls.h"
#include "common/win32/handles.h"
#include "tidewell/settings/account_page.h"
#include "tidewell/settings/dialog_template.h"
#include "tidewell/settings/settings_file.h"
#include "tidewell/settings/sheet_rules.h"

namespace tidewell {

class CSetDlg;

// What every page shares: its template, its dialog procedure, the changed
// flag and the apply result that keeps the sheet open on a failure.
class CPropPage {
 public:
  CPropPage(HINSTANCE instance, int dialog_id, Profile& profile)
      : instance_(instance), profile_(profile), id_(dialog_id) {}
  virtual ~CPropPage() = default;
  CPropPage(const CPropPage&) = delete;
  CPropPage& operator=(const CPropPage&) = delete;

  // The page's entry of the sheet. With sheet_font, the page is shown in
  // that font (its template is copied with the font replaced), so that it
  // fits the sheet, which sizes itself in its own font.
  PROPSHEETPAGEA Template(const DialogFont* sheet_font);

  std::string data_folder;  // set by the opener before the sheet is shown
  int changed = 0;          // set by any user change after initialisation

  HWND window() const { return page_; }

  // The sheet whose apply runs every page's (see CSetDlg::ApplyPages).
  void set_sheet(CSetDlg* sheet) { sheet_ = sheet; }

  // Runs the page's apply and keeps its outcome: apply_ok() false when the
  // page refused its values (told already) or a write failed; a failed write
  // of Tidewell.ini is left for the sheet to tell once (ini_failed()).
  void RunApply();
  bool apply_ok() const { return apply_ok_; }
  bool ini_failed() const { return ini_failed_; }

 protected:
  virtual void OnInit() = 0;
  virtual void OnCommand(int id, int code) = 0;
  // False keeps the sheet open (the page told the user why).
  virtual bool OnApply() = 0;
  virtual bool OnKillActive() { return true; }
  virtual bool OnNotify(const NMHDR& /*header*/) { return false; }

  // A user change: the sheet's Apply button is enabled and the changed flag
  // set, but only once the page has finished initialising.
  void MarkChanged();
  // Initialisation done: the modified state cleared, later changes count.
  void FinishInit();
  // A page write: the profile's failures are watched; false after a failed
  // write (which the sheet tells).
  WriteWatchProfile& Writer() { return writer_; }
  bool WritesSucceeded();
  // The text of an edit, refused (told, focus on it) when it is longer than
  // the edit's limit (it can only get there from outside the keyboard).
  bool TakeText(int id, int max_chars, std::string& out);
  // A button showing the browse picture 144 at 16 x 16.
  void SetBrowsePicture(std::initializer_list<int> ids);

  HINSTANCE instance_;
  HWND page_ = nullptr;
  Profile& profile_;

 private:
  static INT_PTR CALLBACK Proc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR OnNotifyMessage(const NMHDR& header);

  int id_;
  std::string template_;  // the page's template in the sheet's font
  bool ready_ = false;
  CSetDlg* sheet_ = nullptr;
  bool apply_ok_ = true;
  bool ini_failed_ = false;
  WriteWatchProfile writer_{profile_};
  UniqueIcon browse_picture_;
};

// "メッセージ": timed checking and its interval, start-up check, check once
// (and ignore errors), count only, count only new mail.
class CPropPg1 : public CPropPage {
 public:
  CPropPg1(HINSTANCE instance, Profile& profile);
  int applied = 0;  // set each time the page's apply has run
  MessagePageValues values;

 private:
  void OnInit() override;
  void OnCommand(int id, int code) override;
  bool OnApply() override;
  bool OnKillActive() override;
  bool TakeTime();
};

// "受信時処理": sound, external program, list on new mail.
class CPropPg3 : public CPropPage {
 public:
  CPropPg3(HINSTANCE instance, Profile& profile);
  ReceivePageValues values;

 private:
  void OnInit() override;
  void OnCommand(int id, int code) override;
  bool OnApply() override;
  void EnableGroups();
};

// "アイコン": an icon of the user's choice for each tray state, with previews.
class CPropPg4 : public CPropPage {
 public:
  CPropPg4(HINSTANCE instance, Profile& profile);
  IconPageValues values;

 private:
  struct State {
    int check, path, pick, preview, own_icon;
    IconChoice IconPageValues::*choice;
  };
  static const std::array<State, 3> kStates;

  void OnInit() override;
  void OnCommand(int id, int code) override;
  bool OnApply() override;
  void EnableState(const State& s);
  void RefreshPreview(std::size_t n);
  void OnPick(std::size_t n);

  std::array<UniqueIcon, 3> previews_;
};

// "左クリック": the action of a left click on the tray icon.
class CPropPg5 : public CPropPage {
 public:
  CPropPg5(HINSTANCE instance, Profile& profile);
  ClickPageValues values;

 private:
  void OnInit() override;
  void OnCommand(int id, int code) override;
  bool OnApply() override;
};

// "アカウント": the account list through the account dialog.
class CPropPg2 : public CPropPage {
 public:
  CPropPg2(HINSTANCE instance, Profile& profile, CodecCalls& codec);
  AccountPageList list;

 private:
  void OnInit() override;
  void OnCommand(int id, int code) override;
  bool OnApply() override;
  void Refill();
  int SelectionMark() const;
  std::string ShownName(int item) const;
  void OnAdd();
  void OnChange();
  void OnDelete();
  void ShowNote(const char* text);

  CodecCalls& codec_;
};

class CSetDlg {
 public:
  CSetDlg(HINSTANCE instance, const std::string& data_folder, Profile& profile, CodecCalls& codec);
  CSetDlg(const CSetDlg&) = delete;
  CSetDlg& operator=(const CSetDlg&) = delete;

  // Shows the sheet modally (no owner window, page 1 selected). Returns when
  // it is closed. While one sheet is open, another call only brings it to
  // the front and returns false.
  bool DoModal();

  // The pages' flags after the sheet has closed.
  SheetFlags flags() const;

  // The sheet currently open, or null.
  static HWND OpenSheet();

  // The answer to one page's PSN_APPLY. The platform's sheet applies its
  // pages one after the other and stops at the first that refuses, so a
  // failed write of page 1 would keep the accounts from ever being saved.
  // Instead, the first page's notice applies every page whose window exists,
  // each on its own; a failed Tidewell.ini write is told once; then each page
  // answers with its own outcome, and the sheet stays open on the first page
  // that failed.
  LONG_PTR ApplyPages(CPropPage& page);

  CPropPg1 page1;
  CPropPg3 page3;
  CPropPg4 page4;
  CPropPg5 page5;
  CPropPg2 page2;

 private:
  static int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM lparam);
  std::array<CPropPage*, 5> Pages();
  HINSTANCE instance_;
};

}  // namespace tidewell
