#include "quillbox/win32/list_window.h"

#include <commctrl.h>

#include <cstring>
#include <map>
#include <memory>
#include <utility>

#include "common/atomic_file.h"
#include "common/sjis.h"
#include "common/win32/inkwell_module.h"
#include "quillbox/win32/header_dialog.h"
#include "quillbox/win32/list_session_driver.h"
#include "quillbox/win32/list_state.h"
#include "quillbox/win32/list_view_items.h"
#include "quillbox_res.h"
#include "viewer/header_text.h"

namespace tidewell {

namespace {

std::unique_ptr<ListState> g_list;

// The list codec on Inkwell2.dll from the library's folder, kept loaded for
// the life of the object.
class ModuleListCodec : public ListCodec {
 public:
  explicit ModuleListCodec(const std::string& path) : dll_(path) {}
  bool loaded() const { return dll_.loaded(); }
  bool CodeConv(const std::string& src, int code, std::string& out) override { return dll_.CodeConv(src, code, out); }
  bool Base64Coding(const std::string& src, int op, std::string& out) override {
    return dll_.Base64Coding(src, op, out);
  }
  bool QuotedCoding(const std::string& src, int op, std::string& out) override {
    return dll_.QuotedCoding(src, op, out);
  }
  std::string Md5Hex(const std::string& text) override { return dll_.Md5(text); }
  InkwellModule& dll() { return dll_; }

 private:
  InkwellModule dll_;
};

// ---- Quillbox.ini ------------------------------------------------------------

int ReadInt(const ListState& s, const char* section, const char* key, int fallback) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, s.IniPath().c_str()));
}

bool HasKey(const ListState& s, const char* section, const char* key) {
  char value[4] = "";
  return GetPrivateProfileStringA(section, key, "\x01", value, sizeof value, s.IniPath().c_str()) != 1 ||
         value[0] != '\x01';
}

void WriteInt(const ListState& s, const char* section, const char* key, long value) {
  WritePrivateProfileStringA(section, key, std::to_string(value).c_str(), s.IniPath().c_str());
}

struct FlagKey {
  const char* key;
  unsigned bit;
  int fallback;
};
constexpr FlagKey kFlagKeys[] = {
    {"DeleteCheck", kSetDeleteCheck, 1},
    {"DeleteMsgSave", kSetDeleteMsgSave, 0},
    {"Top", kSetTop, 0},
    {"Toolbar", kSetToolbar, 1},
    {"DeleteMsgFromAllHeader", kSetDeleteMsgFromAllHeader, 1},
};
constexpr const char* kWidthKeys[5] = {"Subject", "From", "Date", "Size", "Name"};

void ReadSettings(ListState& s) {
  for (const FlagKey& f : kFlagKeys) s.Set(f.bit, (ReadInt(s, "Setting", f.key, f.fallback) & 1) != 0);
  const int width_defaults[5] = {150, 150, 120, 80, 120};
  for (int i = 0; i < 5; ++i) s.widths[i] = ReadInt(s, "Size", kWidthKeys[i], width_defaults[i]);
  s.rect.top = ReadInt(s, "Window", "Top", 50);
  s.rect.bottom = ReadInt(s, "Window", "Bottom", 200);
  s.rect.right = ReadInt(s, "Window", "Right", 350);
  s.rect.left = ReadInt(s, "Window", "Left", 50);
  s.view_fetch = ReadViewFetchSettings(HasKey(s, "Message", "Line"), ReadInt(s, "Message", "Line", 0),
                                       HasKey(s, "Message", "LargeLine"), ReadInt(s, "Message", "LargeLine", 0));
  s.viewer_mode = ReadInt(s, "Message", "Viewer", 2);
  s.sort_column = ReadInt(s, "Sort", "Item", 0);
  if (s.sort_column < 0 || s.sort_column >= kListColumnCount) s.sort_column = 0;  // a column that exists
  s.pending_descending = (ReadInt(s, "Sort", "Order", 0) & 1) != 0;
}

void WriteSettings(const ListState& s) {
  for (const FlagKey& f : kFlagKeys) WriteInt(s, "Setting", f.key, s.Has(f.bit) ? 1 : 0);
  for (int i = 0; i < 5; ++i) WriteInt(s, "Size", kWidthKeys[i], s.widths[i]);
  WriteInt(s, "Window", "Top", s.rect.top);
  WriteInt(s, "Window", "Bottom", s.rect.bottom);
  WriteInt(s, "Window", "Right", s.rect.right);
  WriteInt(s, "Window", "Left", s.rect.left);
  WriteInt(s, "Message", "Line", s.view_fetch.lines);
  WriteInt(s, "Message", "LargeLine", s.view_fetch.large_lines);
  WriteInt(s, "Message", "Viewer", s.viewer_mode);
  WriteInt(s, "Sort", "Item", s.sort_column);
  WriteInt(s, "Sort", "Order", s.pending_descending ? 1 : 0);
}

// ---- list view helpers --------------------------------------------------------

ListRect FromRect(const RECT& r) { return ListRect{r.left, r.top, r.right, r.bottom}; }

std::string ItemText(HWND list_view, int index, int column, std::size_t max) {
  std::string buffer(max + 1, '\0');
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = buffer.data();
  item.cchTextMax = static_cast<int>(buffer.size());
  SendMessageA(list_view, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

// ---- sorting ------------------------------------------------------------------

struct SortRun {
  const ListState* state;
  int column;
  bool descending;
};

// A row's text as the comparison reads it: at most 499 bytes.
std::string_view SortText(const ListState& s, LPARAM item, int column) {
  if (item < 0 || static_cast<std::size_t>(item) >= s.rows.size()) return std::string_view();
  const std::string& text = s.rows[static_cast<std::size_t>(item)].columns[column];
  return std::string_view(text).substr(0, 499);
}

int CALLBACK CompareItems(LPARAM a, LPARAM b, LPARAM run_param) {
  const SortRun& run = *reinterpret_cast<const SortRun*>(run_param);
  return CompareRowTexts(run.column, SortText(*run.state, a, run.column), SortText(*run.state, b, run.column),
                         run.descending);
}

void SortRows(ListState& s, int column, bool descending) {
  SortRun run{&s, column, descending};
  SendMessageA(s.list_view, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&run), reinterpret_cast<LPARAM>(CompareItems));
}

// ---- rows ---------------------------------------------------------------------

std::vector<std::string> AccountNames(const ListState& s) {
  std::vector<std::string> names;
  for (const ListAccount& a : s.accounts) names.push_back(a.name);
  return names;
}

void BuildRows(ListState& s) {
  ModuleListCodec codec(s.InkwellPath());
  if (!codec.loaded()) return;
  SendMessageA(s.list_view, WM_SETREDRAW, FALSE, 0);
  SendMessageA(s.list_view, LVM_DELETEALLITEMS, 0, 0);
  s.rows = BuildAllRows(codec, s.data_folder, AccountNames(s));
  SendMessageA(s.list_view, LVM_SETITEMCOUNT, s.rows.size(), 0);
  for (std::size_t i = 0; i < s.rows.size(); ++i) {
    const MailRow& row = s.rows[i];
    // The texts stay in s.rows: the list view asks for them when it needs
    // them (LVN_GETDISPINFO), one message per row instead of eleven.
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = static_cast<int>(i);
    item.pszText = LPSTR_TEXTCALLBACKA;
    item.iImage = row.image;
    item.lParam = row.item;
    SendMessageA(s.list_view, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  // Sorted as the last column click left it: the direction used last.
  SortRows(s, s.sort_column, !s.pending_descending);
  SendMessageA(s.list_view, WM_SETREDRAW, TRUE, 0);
}

// ---- window creation ------------------------------------------------------------

struct ColumnSpec {
  const char* title;
  int fixed_width;  // -1: from Quillbox.ini
  bool right;
};
constexpr ColumnSpec kColumns[kListColumnCount] = {
    {"Subject", -1, false}, {"From", -1, false},      {"Date", -1, false}, {"Size", -1, true},
    {"Name", -1, false},    {"Number", 0, false},     {"Number_Old", 0, false}, {"UIDL", 0, false},
    {"MsgID", 0, false},    {"Hash", 100, false},
};

// Pixels per inch of the window: GetDpiForWindow (Windows 10 1607 and
// later, looked up so the library still loads on older systems), else the
// screen's LOGPIXELSX.
int WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (get_dpi) {
    const UINT dpi = get_dpi(window);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  const HDC dc = GetDC(window);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
  if (dc) ReleaseDC(window, dc);
  return dpi > 0 ? dpi : 96;
}

void CreateColumns(ListState& s) {
  const int dpi = WindowDpi(s.window);
  for (int i = 0; i < kListColumnCount; ++i) {
    LVCOLUMNA col{};
    col.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.fmt = kColumns[i].right ? LVCFMT_RIGHT : LVCFMT_LEFT;
    col.cx = WidthForDpi(kColumns[i].fixed_width < 0 ? s.widths[i] : kColumns[i].fixed_width, dpi);
    col.pszText = const_cast<char*>(kColumns[i].title);
    col.iSubItem = i;
    SendMessageA(s.list_view, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&col));
  }
  const HIMAGELIST images = ImageList_LoadImageA(s.module, MAKEINTRESOURCEA(IDB_ROW_IMAGES), 16, 0, 1, IMAGE_BITMAP, 0);
  SendMessageA(s.list_view, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
  SendMessageA(s.list_view, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

void CheckButton(const ListState& s, int id, bool on) {
  if (s.toolbar) SendMessageA(s.toolbar, TB_CHECKBUTTON, id, MAKELONG(on ? TRUE : FALSE, 0));
}

bool ButtonChecked(const ListState& s, int id) {
  return s.toolbar && SendMessageA(s.toolbar, TB_ISBUTTONCHECKED, id, 0) != 0;
}

void CreateToolbar(ListState& s) {
  struct Button {
    int id;
    bool check;
  };
  constexpr Button kButtons[14] = {
      {ID_TOP, true},          {IDC_DELETE, false},      {ID_DISCONNECT, false},  {ID_DELETE_CHECK, true},
      {ID_DELETE_SAVE, true},  {ID_HEADER_VIEW, false},  {ID_MESSAGE_VIEW, false}, {ID_EXTERNAL_PROGRAM, false},
      {ID_CODE_JIS, false},    {ID_CODE_SJIS, false},    {ID_CODE_EUC, false},    {ID_CODE_UTF7, false},
      {ID_CODE_UTF8, false},   {ID_CODE_UTF16, false},
  };
  TBBUTTON buttons[14] = {};
  for (int i = 0; i < 14; ++i) {
    buttons[i].iBitmap = i;
    buttons[i].idCommand = kButtons[i].id;
    buttons[i].fsState = static_cast<BYTE>(TBSTATE_ENABLED | (kButtons[i].check ? TBSTATE_CHECKED : 0));
    buttons[i].fsStyle = static_cast<BYTE>(kButtons[i].check ? TBSTYLE_CHECK : TBSTYLE_BUTTON);
  }
  // Pictures drawn for 100 %, 150 % and 200 %: the largest that fits the DPI.
  const int size = ToolbarImageSize(WindowDpi(s.window));
  const int height = size == 32 ? 30 : size == 24 ? 23 : 15;
  const int bitmap = size == 32 ? IDB_TOOLBAR_32 : size == 24 ? IDB_TOOLBAR_24 : IDB_TOOLBAR;
  const int disabled = size == 32 ? IDB_TOOLBAR_DISABLED_32 : size == 24 ? IDB_TOOLBAR_DISABLED_24 : IDB_TOOLBAR_DISABLED;
  s.toolbar = CreateToolbarEx(s.window, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS, IDC_TOOLBAR, 15, s.module,
                              static_cast<UINT_PTR>(bitmap), buttons, 14, size, height, size, height, sizeof(TBBUTTON));
  if (!s.toolbar) return;
  // Disabled buttons show the pictures in grey (without them the toolbar
  // draws a disabled button as a grey block).
  s.toolbar_images = ImageList_LoadImageA(s.module, MAKEINTRESOURCEA(disabled), size, 0,
                                          RGB(192, 192, 192), IMAGE_BITMAP, 0);
  if (s.toolbar_images)
    SendMessageA(s.toolbar, TB_SETDISABLEDIMAGELIST, 0, reinterpret_cast<LPARAM>(s.toolbar_images));
  for (int position : {0, 2, 7, 10, 12}) {
    TBBUTTON separator{};
    separator.fsState = TBSTATE_ENABLED;
    separator.fsStyle = TBSTYLE_SEP;
    SendMessageA(s.toolbar, TB_INSERTBUTTONA, position, reinterpret_cast<LPARAM>(&separator));
  }
  CheckButton(s, ID_DELETE_CHECK, s.Has(kSetDeleteCheck));
  CheckButton(s, ID_DELETE_SAVE, s.Has(kSetDeleteMsgSave));
  CheckButton(s, ID_TOP, s.Has(kSetTop));
  SendMessageA(s.toolbar, TB_ENABLEBUTTON, ID_DISCONNECT, MAKELONG(FALSE, 0));
}

void CheckMenu(const ListState& s, int id, bool on) {
  CheckMenuItem(s.menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

BOOL OnInitDialog(HWND window) {
  ListState& s = *g_list;
  s.window = window;
  s.list_view = GetDlgItem(window, IDC_LIST_VIEW);
  s.busy = false;
  s.full_header_search = true;

  ReadSettings(s);
  RECT desktop;
  GetWindowRect(GetDesktopWindow(), &desktop);
  s.rect = OpeningRect(s.rect, FromRect(desktop));

  CreateColumns(s);
  if (s.Has(kSetToolbar)) CreateToolbar(s);
  BuildRows(s);

  const HICON icon = static_cast<HICON>(LoadImageA(s.module, MAKEINTRESOURCEA(IDI_LIST), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                   LR_SHARED));
  SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  SetWindowLongPtrA(window, GWL_EXSTYLE, GetWindowLongPtrA(window, GWL_EXSTYLE) | WS_EX_APPWINDOW);

  s.menu = LoadMenuA(s.module, MAKEINTRESOURCEA(IDR_LIST_MENU));
  CheckMenu(s, ID_MENU_DELETE_CHECK, s.Has(kSetDeleteCheck));
  CheckMenu(s, ID_MENU_DELETE_SAVE, s.Has(kSetDeleteMsgSave));
  CheckMenu(s, ID_MENU_TOP, s.Has(kSetTop));
  EnableMenuItem(s.menu, ID_DISCONNECT, MF_BYCOMMAND | MF_GRAYED);

  SetWindowPos(window, s.Has(kSetTop) ? HWND_TOPMOST : HWND_BOTTOM, s.rect.left, s.rect.top,
               s.rect.right - s.rect.left, s.rect.bottom - s.rect.top,
               SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER);
  return TRUE;
}

// ---- commands -------------------------------------------------------------------

void SetTopmost(const ListState& s) {
  SetWindowPos(s.window, s.Has(kSetTop) ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// Every row selected, the focus ending on the last one. One message selects
// them all: a message per row costs the list view a repaint each (seconds
// for a few thousand rows).
void SelectAll(const ListState& s) {
  const int count = static_cast<int>(SendMessageA(s.list_view, LVM_GETITEMCOUNT, 0, 0));
  if (count <= 0) return;
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED;
  item.state = LVIS_SELECTED;
  SendMessageA(s.list_view, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  item.stateMask = LVIS_FOCUSED;
  item.state = LVIS_FOCUSED;
  SendMessageA(s.list_view, LVM_SETITEMSTATE, static_cast<WPARAM>(count - 1), reinterpret_cast<LPARAM>(&item));
}

bool ReadAccountFile(ModuleListCodec& codec, const ListState& s, const std::string& account, std::string& file) {
  file.clear();
  const std::string path = AccountMailPath(codec, s.data_folder, account);
  return !path.empty() && ReadWholeFile(path, file);
}

void ShowHeader(ListState& s) {
  const int index = static_cast<int>(SendMessageA(s.list_view, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
  if (index < 0) return;
  const std::string number = ItemText(s.list_view, index, kColNumberOld, 49);
  if (number.empty()) return;
  const std::string title = ItemText(s.list_view, index, kColSubject, 999);
  ModuleListCodec codec(s.InkwellPath());
  std::string file, header;
  if (ReadAccountFile(codec, s, ItemText(s.list_view, index, kColName, 149), file))
    header = StoredHeader(file, std::atoi(number.c_str()));
  ShowHeaderDialog(s.module, s.window, title, header);
}

// Re-decoding reads each account's file once per command, whatever order
// the selected rows of the accounts come in, and finds the blocks through an
// index of the file.
void Redecode(ListState& s, int command) {
  ModuleListCodec codec(s.InkwellPath());
  struct AccountText {
    std::string file;
    std::unique_ptr<MessageBlockIndex> index;
  };
  std::map<std::string, AccountText> read;
  for (int index : SelectedItems(s.list_view)) {
    const std::string number = ItemText(s.list_view, index, kColNumberOld, 1999);
    if (number.empty()) continue;
    const std::string name = ItemText(s.list_view, index, kColName, 149);
    auto [it, added] = read.try_emplace(name);
    AccountText& account = it->second;
    if (added) {
      ReadAccountFile(codec, s, name, account.file);
      account.index = std::make_unique<MessageBlockIndex>(account.file, true);
    }
    std::pair<std::string, std::string> texts;
    if (!RedecodeRow(codec, account.file, *account.index, std::atoi(number.c_str()), command, texts)) continue;
    const LPARAM item = ItemData(s.list_view, index);
    if (item >= 0 && static_cast<std::size_t>(item) < s.rows.size()) {
      s.rows[static_cast<std::size_t>(item)].columns[kColSubject] = texts.first;
      s.rows[static_cast<std::size_t>(item)].columns[kColFrom] = texts.second;
      SendMessageA(s.list_view, LVM_REDRAWITEMS, index, index);
    }
  }
}

// Flips a setting from the context menu: its check mark and the toolbar
// button follow.
void FlipFromMenu(ListState& s, unsigned bit, int menu_id, int button_id) {
  s.Set(bit, !s.Has(bit));
  CheckMenu(s, menu_id, s.Has(bit));
  CheckButton(s, button_id, s.Has(bit));
}

void OnCommand(ListState& s, int id) {
  switch (id) {
    case IDOK:
    case IDCANCEL:
      DestroyWindow(s.window);
      break;
    case ID_DELETE_CHECK:
      s.Set(kSetDeleteCheck, ButtonChecked(s, ID_DELETE_CHECK));
      break;
    case ID_TOP:
      s.Set(kSetTop, ButtonChecked(s, ID_TOP));
      SetTopmost(s);
      break;
    case ID_DELETE_SAVE:
      s.Set(kSetDeleteMsgSave, ButtonChecked(s, ID_DELETE_SAVE));
      break;
    case ID_MENU_DELETE_CHECK:
      FlipFromMenu(s, kSetDeleteCheck, ID_MENU_DELETE_CHECK, ID_DELETE_CHECK);
      break;
    case ID_MENU_DELETE_SAVE:
      FlipFromMenu(s, kSetDeleteMsgSave, ID_MENU_DELETE_SAVE, ID_DELETE_SAVE);
      break;
    case ID_MENU_TOP:
      FlipFromMenu(s, kSetTop, ID_MENU_TOP, ID_TOP);
      SetTopmost(s);
      break;
    case ID_HEADER_VIEW:
      ShowHeader(s);
      break;
    case ID_SELECT_ALL:
      SelectAll(s);
      break;
    case IDC_DELETE:
    case ID_MENU_DELETE:
      DeleteCommand(s);
      break;
    case ID_DISCONNECT:
      DisconnectCommand(s);
      break;
    case ID_MESSAGE_VIEW:
      MessageViewCommand(s);
      break;
    case ID_EXTERNAL_PROGRAM:
      ExternalProgramCommand(s);
      break;
    default:
      if (id >= kCmdRedecodeFirst && id <= kCmdRedecodeLast) Redecode(s, id);
      break;
  }
}

// ---- notifications --------------------------------------------------------------

// A row's text for the list view (its items hold LPSTR_TEXTCALLBACK).
const std::string* RowText(const ListState& s, LPARAM item, int column) {
  if (item < 0 || static_cast<std::size_t>(item) >= s.rows.size() || column < 0 || column >= kListColumnCount)
    return nullptr;
  return &s.rows[static_cast<std::size_t>(item)].columns[column];
}

void AnswerDispInfo(const ListState& s, NMLVDISPINFOA* info) {
  if (!(info->item.mask & LVIF_TEXT) || !info->item.pszText || info->item.cchTextMax <= 0) return;
  const std::string* text = RowText(s, info->item.lParam, info->item.iSubItem);
  CopyToBuffer(text ? *text : std::string(), info->item.pszText, static_cast<std::size_t>(info->item.cchTextMax));
}

void AnswerDispInfo(const ListState& s, NMLVDISPINFOW* info) {
  if (!(info->item.mask & LVIF_TEXT) || !info->item.pszText || info->item.cchTextMax <= 0) return;
  const std::string* text = RowText(s, info->item.lParam, info->item.iSubItem);
  info->item.pszText[0] = L'\0';
  if (!text || text->empty()) return;
  const int n = MultiByteToWideChar(CP_ACP, 0, text->data(), static_cast<int>(text->size()), info->item.pszText,
                                    info->item.cchTextMax - 1);
  info->item.pszText[n > 0 ? n : 0] = L'\0';
}

LRESULT OnListNotify(ListState& s, NMHDR* header) {
  switch (header->code) {
    case LVN_GETDISPINFOA:
      AnswerDispInfo(s, reinterpret_cast<NMLVDISPINFOA*>(header));
      return 0;
    case LVN_GETDISPINFOW:
      AnswerDispInfo(s, reinterpret_cast<NMLVDISPINFOW*>(header));
      return 0;
    case LVN_KEYDOWN: {
      const WORD key = reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey;
      const bool control = GetKeyState(VK_CONTROL) < 0;
      if (key == VK_DELETE) OnCommand(s, ID_MENU_DELETE);
      else if (control && key == 'A') OnCommand(s, ID_SELECT_ALL);
      else if (control && key == 'H') OnCommand(s, ID_HEADER_VIEW);
      else if (control && key == 'M') OnCommand(s, ID_MESSAGE_VIEW);
      return 0;
    }
    case LVN_COLUMNCLICK: {
      const int column = reinterpret_cast<NMLISTVIEW*>(header)->iSubItem;
      if (column < 0 || column >= kListColumnCount) return 0;
      SortRows(s, column, s.pending_descending);
      s.sort_column = column;
      s.pending_descending = !s.pending_descending;
      return 0;
    }
    case NM_RCLICK: {
      POINT at;
      GetCursorPos(&at);
      SetForegroundWindow(s.window);
      TrackPopupMenu(GetSubMenu(s.menu, 0), 0, at.x, at.y, 0, s.window, nullptr);
      return 0;
    }
    case NM_CUSTOMDRAW: {
      const NMLVCUSTOMDRAW* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
      return draw->nmcd.dwDrawStage == CDDS_PREPAINT ? CDRF_NOTIFYITEMDRAW : CDRF_DODEFAULT;
    }
  }
  return 0;
}

LRESULT OnNotify(ListState& s, NMHDR* header) {
  if (header->code == TTN_NEEDTEXTA) {
    auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
    info->hinst = s.module;
    info->lpszText = MAKEINTRESOURCEA(header->idFrom);
    return 0;
  }
  if (header->code == TTN_NEEDTEXTW) {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
    info->hinst = s.module;
    info->lpszText = MAKEINTRESOURCEW(header->idFrom);
    return 0;
  }
  if (header->idFrom == IDC_LIST_VIEW) return OnListNotify(s, header);
  return 0;
}

// ---- layout and close -------------------------------------------------------------

constexpr int kToolbarHeight = 27;

void OnSize(const ListState& s) {
  RECT client;
  GetClientRect(s.window, &client);
  if (s.toolbar) {
    const int top = MulDiv(kToolbarHeight, WindowDpi(s.window), 96);
    MoveWindow(s.list_view, 0, top, client.right, client.bottom - top, TRUE);
    SendMessageA(s.toolbar, TB_AUTOSIZE, 0, 0);
  } else {
    MoveWindow(s.list_view, 0, 0, client.right, client.bottom, TRUE);
  }
}

void OnDestroy() {
  std::unique_ptr<ListState> owned = std::move(g_list);
  ListState& s = *owned;
  CloseListSession(s);
  s.accounts.clear();
  const int dpi = WindowDpi(s.window);  // stored in 96-DPI pixels, as at 100 %
  for (int i = 0; i < 5; ++i)
    s.widths[i] = WidthAt96(static_cast<int>(SendMessageA(s.list_view, LVM_GETCOLUMNWIDTH, i, 0)), dpi);
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  RECT window;
  GetWindowRect(s.window, &window);
  const bool minimized = IsIconic(s.window) && GetWindowPlacement(s.window, &placement);
  s.rect = ClosingRect(minimized, FromRect(window), FromRect(placement.rcNormalPosition), s.rect);
  WriteSettings(s);
  PostMessageA(s.parent, kWmListClosed, 0, 0);
  if (s.menu) DestroyMenu(s.menu);
  if (s.toolbar) DestroyWindow(s.toolbar);
  if (s.toolbar_images) ImageList_Destroy(s.toolbar_images);
}

INT_PTR CALLBACK ListProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) return g_list ? OnInitDialog(window) : FALSE;
  if (!g_list || g_list->window != window) return FALSE;
  ListState& s = *g_list;
  if (OnListSessionMessage(s, msg, wp, lp)) return TRUE;
  switch (msg) {
    case WM_COMMAND:
      OnCommand(s, LOWORD(wp));
      return TRUE;
    case WM_NOTIFY:
      SetWindowLongPtrA(window, DWLP_MSGRESULT, OnNotify(s, reinterpret_cast<NMHDR*>(lp)));
      return TRUE;
    case WM_SIZE:
      OnSize(s);
      return TRUE;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lp);
      info->ptMinTrackSize.x = kListMinWidth;
      info->ptMinTrackSize.y = kListMinHeight;
      return TRUE;
    }
    case WM_CLOSE:
      DestroyWindow(window);
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      return TRUE;
  }
  return FALSE;
}

// Folder of a module file, without its trailing backslash.
std::string ModuleFolder(HINSTANCE module) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module, path, MAX_PATH);
  std::string folder(path);
  const std::size_t slash = LastBackslash(folder);
  folder.resize(slash == std::string::npos ? 0 : slash);
  return folder;
}

// The data folder argument when it names an existing folder.
bool UsableDataFolder(const char* folder) {
  if (!folder || !*folder || std::strlen(folder) >= 260) return false;
  const DWORD attributes = GetFileAttributesA(folder);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void RebuildListRows(ListState& s) { BuildRows(s); }

ListState* CurrentList() { return g_list.get(); }

std::string ListState::IniPath() const {
  std::string path = data_folder;
  if (!EndsWithBackslash(path)) path += '\\';
  return path + "Quillbox.ini";
}

std::string ListState::InkwellPath() const { return module_folder + "\\Inkwell2.dll"; }

HWND OpenListWindow(HINSTANCE module, HWND parent, int account_count, const char* data_folder) {
  if (g_list && g_list->window) return g_list->window;

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  auto state = std::make_unique<ListState>();
  state->module = module;
  state->module_folder = ModuleFolder(module);
  state->data_folder = UsableDataFolder(data_folder) ? std::string(data_folder) : state->module_folder;
  state->accounts.resize(account_count > 0 ? static_cast<std::size_t>(account_count) : 0);
  {
    InkwellModule dll(state->InkwellPath());
    for (std::size_t i = 0; i < state->accounts.size(); ++i)
      state->accounts[i].name = dll.AccountName(state->data_folder, static_cast<int>(i + 1));
  }
  state->parent = parent;
  g_list = std::move(state);

  const HWND window = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_LIST), parent, ListProc, 0);
  if (!window) {
    g_list.reset();
    MessageBoxA(nullptr, "ダイアログ失敗", "OK", MB_OK);
    return nullptr;
  }
  return window;
}

}  // namespace tidewell
