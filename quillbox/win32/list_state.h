// The list library's state: one list window at a time, living from ListShow
// until the window is destroyed. Everything runs on the caller's thread.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "quillbox/list_layout.h"
#include "quillbox/mail_rows.h"
#include "quillbox/view_fetch.h"

namespace tidewell {

// Bits of the list's settings word.
enum ListSetting : unsigned {
  kSetDeleteCheck = 1u << 0,
  kSetTop = 1u << 1,
  kSetDeleteMsgSave = 1u << 2,
  kSetToolbar = 1u << 3,
  kSetDeleteMsgFromAllHeader = 1u << 4,
  kSetAutoWordWrap = 1u << 5,
};

// Posted to the owner when the list window is destroyed.
constexpr UINT kWmListClosed = WM_USER + 100;

struct ListAccount {
  std::string name;
  int delete_error = 0;  // set by a delete run
};

struct ListState {
  HINSTANCE module = nullptr;
  std::string module_folder;
  std::string data_folder;
  std::vector<ListAccount> accounts;
  HWND parent = nullptr;
  HWND window = nullptr;
  HWND list_view = nullptr;
  HWND toolbar = nullptr;
  HMENU menu = nullptr;
  HIMAGELIST toolbar_images = nullptr;  // owned: a toolbar does not free its image list
  unsigned settings = 0;
  int widths[5] = {150, 150, 120, 80, 120};
  ListRect rect = kDefaultListRect;
  int sort_column = 0;
  bool pending_descending = false;
  ViewFetchSettings view_fetch;  // [Message] Line and LargeLine
  int viewer_mode = 2;
  bool busy = false;
  bool full_header_search = true;
  // The rows as built, indexed by their item data; the sort reads its texts
  // here instead of searching the list view for every comparison.
  std::vector<MailRow> rows;
  // The message file last handed on for display.
  std::string message_path;

  bool Has(unsigned bit) const { return (settings & bit) != 0; }
  void Set(unsigned bit, bool on) { settings = on ? (settings | bit) : (settings & ~bit); }
  std::string IniPath() const;
  std::string InkwellPath() const;
};

// The one list state (null while no list window exists).
ListState* CurrentList();

}  // namespace tidewell
