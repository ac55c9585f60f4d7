#include "tidewell/settings/win32/settings_sheet.h"

#include <cstdio>
#include <string_view>

#include "settings_res.h"
#include "common/win32/dpapi_protector.h"
#include "tidewell/settings/win32/account_dialog.h"
#include "tidewell/settings/win32/dialog_items.h"
#include "tidewell/settings/win32/file_pickers.h"

namespace tidewell {

namespace {

// The sheet on the screen: one at a time.
HWND g_open_sheet = nullptr;

constexpr int kTextLimit = 260;
constexpr int kCmdlineLimit = 1000;
constexpr int kIconPathLimit = 5000;

void SetResult(HWND page, LONG_PTR result) { SetWindowLongPtrA(page, DWLP_MSGRESULT, result); }

// The bytes of a dialog resource of module, or empty.
std::string_view DialogResource(HMODULE module, int id) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_DIALOG));
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return {};
  return std::string_view(static_cast<const char*>(data), SizeofResource(module, found));
}

// The font the platform's property sheet is made in: that of its own dialog
// template in the common controls library (1006), or "MS Shell Dlg" 8.
DialogFont SheetFont() {
  constexpr int kPropertySheetTemplate = 1006;
  DialogFont font;
  HMODULE controls = GetModuleHandleA("comctl32.dll");
  if (!controls || !ReadDialogFont(DialogResource(controls, kPropertySheetTemplate), font)) {
    font = DialogFont();
    font.point = 8;
    font.face = u"MS Shell Dlg";
  }
  // A plain template names no character set: let the system choose one that
  // has the Japanese characters.
  if (font.charset == ANSI_CHARSET) font.charset = DEFAULT_CHARSET;
  if (font.weight == 0) font.weight = FW_NORMAL;
  return font;
}

}  // namespace

// ---- CPropPage -----------------------------------------------------------

PROPSHEETPAGEA CPropPage::Template(const DialogFont* sheet_font) {
  PROPSHEETPAGEA p = {};
  p.dwSize = sizeof p;
  p.hInstance = instance_;
  p.pszTemplate = MAKEINTRESOURCEA(id_);
  const std::string_view resource = DialogResource(instance_, id_);
  if (sheet_font && ReplaceDialogFont(resource, *sheet_font, template_)) {
    p.dwFlags |= PSP_DLGINDIRECT;
    p.pResource = reinterpret_cast<LPCDLGTEMPLATE>(template_.data());
  }
  p.pfnDlgProc = &CPropPage::Proc;
  p.lParam = reinterpret_cast<LPARAM>(this);
  return p;
}

INT_PTR CALLBACK CPropPage::Proc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
  CPropPage* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CPropPage*>(reinterpret_cast<const PROPSHEETPAGEA*>(lparam)->lParam);
    self->page_ = page;
    SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->OnInit();
    self->FinishInit();
    return TRUE;
  }
  self = reinterpret_cast<CPropPage*>(GetWindowLongPtrA(page, DWLP_USER));
  if (!self) return FALSE;
  switch (message) {
    case WM_COMMAND: self->OnCommand(LOWORD(wparam), HIWORD(wparam)); return TRUE;
    case WM_NOTIFY: return self->OnNotifyMessage(*reinterpret_cast<const NMHDR*>(lparam));
    default: return FALSE;
  }
}

INT_PTR CPropPage::OnNotifyMessage(const NMHDR& header) {
  switch (header.code) {
    case PSN_APPLY:
      if (sheet_) {
        SetResult(page_, sheet_->ApplyPages(*this));
      } else {
        RunApply();
        SetResult(page_, apply_ok_ ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
      }
      return TRUE;
    case PSN_KILLACTIVE: SetResult(page_, OnKillActive() ? FALSE : TRUE); return TRUE;
    default: return OnNotify(header) ? TRUE : FALSE;
  }
}

void CPropPage::MarkChanged() {
  if (!ready_) return;
  changed = 1;
  PropSheet_Changed(GetParent(page_), page_);
}

void CPropPage::FinishInit() {
  PropSheet_UnChanged(GetParent(page_), page_);
  changed = 0;
  ready_ = true;
}

void CPropPage::RunApply() {
  writer_.Reset();
  apply_ok_ = OnApply();
  ini_failed_ = writer_.failed();
  writer_.Reset();
  if (ini_failed_ && !sheet_) ShowMessage(page_, kSettingsSaveFailedText);
}

bool CPropPage::WritesSucceeded() { return !writer_.failed(); }

bool CPropPage::TakeText(int id, int max_chars, std::string& out) {
  std::string text = ItemText(page_, id);
  if (SjisCharCount(text) > static_cast<std::size_t>(max_chars)) {
    RefuseItem(page_, id, TooManyCharsText(static_cast<std::size_t>(max_chars)));
    return false;
  }
  out = std::move(text);
  return true;
}

void CPropPage::SetBrowsePicture(std::initializer_list<int> ids) {
  if (!browse_picture_) browse_picture_ = LoadOwnIcon(instance_, IDI_BROWSE, 16);
  for (int id : ids)
    SendDlgItemMessageA(page_, id, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(browse_picture_.get()));
}

// ---- CPropPg1 "メッセージ" ------------------------------------------------

CPropPg1::CPropPg1(HINSTANCE instance, Profile& profile) : CPropPage(instance, IDD_PAGE_MESSAGE, profile) {}

void CPropPg1::OnInit() {
  values = LoadMessagePage(profile_, data_folder);
  SetChecked(page_, IDC_TIME_CHECK, values.time_check);
  SendDlgItemMessageA(page_, IDC_TIME_SPIN, UDM_SETRANGE32, kTimeMin, kTimeMax);
  SendDlgItemMessageA(page_, IDC_TIME_SPIN, UDM_SETPOS32, 0, ClampTime(values.time));
  SetDlgItemInt(page_, IDC_TIME, static_cast<UINT>(ClampTime(values.time)), TRUE);
  EnableItems(page_, {IDC_TIME, IDC_TIME_SPIN}, values.time_check);
  SetChecked(page_, IDC_START, values.start);
  SetChecked(page_, IDC_END, values.end);
  SetChecked(page_, IDC_MSG_CHECK, values.msg_check);
  SetChecked(page_, IDC_NEW_MESSAGE, values.new_message);
  SetChecked(page_, IDC_ERROR_DISREGARD, values.error_disregard);
  EnableItems(page_, {IDC_ERROR_DISREGARD}, values.end);
  ParseIntText(ItemText(page_, IDC_TIME), values.time);
  applied = 0;
}

void CPropPg1::OnCommand(int id, int code) {
  switch (id) {
    case IDC_TIME_CHECK:
      if (code != BN_CLICKED) return;
      EnableItems(page_, {IDC_TIME, IDC_TIME_SPIN}, IsChecked(page_, IDC_TIME_CHECK));
      break;
    case IDC_END:
      if (code != BN_CLICKED) return;
      EnableItems(page_, {IDC_ERROR_DISREGARD}, IsChecked(page_, IDC_END));
      break;
    case IDC_START:
    case IDC_MSG_CHECK:
    case IDC_NEW_MESSAGE:
    case IDC_ERROR_DISREGARD:
      if (code != BN_CLICKED) return;
      break;
    case IDC_TIME:
      if (code != EN_CHANGE) return;
      break;
    default: return;
  }
  MarkChanged();
}

// The interval as typed (any integer; the up-down control only offers
// 1..1440); anything else is refused and the page stays.
bool CPropPg1::TakeTime() {
  int time = 0;
  if (!ParseIntText(ItemText(page_, IDC_TIME), time)) {
    RefuseItem(page_, IDC_TIME, kIntegerText);
    return false;
  }
  values.time = time;
  return true;
}

bool CPropPg1::OnKillActive() { return TakeTime(); }

bool CPropPg1::OnApply() {
  // The sheet was applied, whatever becomes of this page's values: the
  // engine's reload looks at this and the pages' changed flags.
  applied = 1;
  if (!TakeTime()) return false;
  values.time_check = IsChecked(page_, IDC_TIME_CHECK);
  values.start = IsChecked(page_, IDC_START);
  values.end = IsChecked(page_, IDC_END);
  values.error_disregard = IsChecked(page_, IDC_ERROR_DISREGARD);
  values.msg_check = IsChecked(page_, IDC_MSG_CHECK);
  values.new_message = IsChecked(page_, IDC_NEW_MESSAGE);
  SaveMessagePage(Writer(), data_folder, values);
  return WritesSucceeded();
}

// ---- CPropPg3 "受信時処理" ------------------------------------------------

CPropPg3::CPropPg3(HINSTANCE instance, Profile& profile) : CPropPage(instance, IDD_PAGE_RECEIVE, profile) {}

void CPropPg3::OnInit() {
  values = LoadReceivePage(profile_, data_folder);
  LimitText(page_, IDC_SOUND, kTextLimit);
  LimitText(page_, IDC_EXEC, kTextLimit);
  LimitText(page_, IDC_EXEC_CMDLINE, kCmdlineLimit);
  LimitText(page_, IDC_EXEC_WORK_FOLDER, kTextLimit);
  SetDlgItemTextA(page_, IDC_SOUND, values.sound.c_str());
  SetDlgItemTextA(page_, IDC_EXEC, values.exec.c_str());
  SetDlgItemTextA(page_, IDC_EXEC_CMDLINE, values.exec_cmdline.c_str());
  SetDlgItemTextA(page_, IDC_EXEC_WORK_FOLDER, values.exec_work_folder.c_str());
  SetBrowsePicture({IDC_SOUND_BROWSE, IDC_EXEC_BROWSE});
  SetChecked(page_, IDC_SOUND_CHECK, values.sound_check);
  SetChecked(page_, IDC_EXEC_CHECK, values.exec_check);
  SetChecked(page_, IDC_LIST_OPEN, values.list_open);
  SetChecked(page_, IDC_BALLOON, values.balloon);
  SetChecked(page_, IDC_EXEC_DUPLICATE, values.exec_duplicate);
  SetChecked(page_, IDC_EXEC_ICON_CHANGE, values.exec_icon_change);
  EnableGroups();
}

void CPropPg3::EnableGroups() {
  EnableItems(page_, {IDC_SOUND, IDC_SOUND_BROWSE}, IsChecked(page_, IDC_SOUND_CHECK));
  EnableItems(page_,
              {IDC_EXEC, IDC_EXEC_CMDLINE, IDC_EXEC_WORK_FOLDER, IDC_EXEC_BROWSE, IDC_EXEC_DUPLICATE,
               IDC_EXEC_ICON_CHANGE},
              IsChecked(page_, IDC_EXEC_CHECK));
}

void CPropPg3::OnCommand(int id, int code) {
  switch (id) {
    case IDC_SOUND_CHECK:
    case IDC_EXEC_CHECK:
      if (code != BN_CLICKED) return;
      EnableGroups();
      break;
    case IDC_LIST_OPEN:
    case IDC_BALLOON:
    case IDC_EXEC_DUPLICATE:
    case IDC_EXEC_ICON_CHANGE:
      if (code != BN_CLICKED) return;
      break;
    case IDC_SOUND:
    case IDC_EXEC:
    case IDC_EXEC_CMDLINE:
    case IDC_EXEC_WORK_FOLDER:
      if (code != EN_CHANGE) return;
      break;
    case IDC_SOUND_BROWSE:
    case IDC_EXEC_BROWSE: {
      // The edit's change notice that follows marks the page changed.
      if (code != BN_CLICKED) return;
      const int edit = id == IDC_SOUND_BROWSE ? IDC_SOUND : IDC_EXEC;
      std::string text = ItemText(page_, edit);
      if (BrowseForFile(page_, id == IDC_SOUND_BROWSE ? BrowseKind::kWave : BrowseKind::kProgram, text))
        SetItemText(page_, edit, text);
      return;
    }
    default: return;
  }
  MarkChanged();
}

bool CPropPg3::OnApply() {
  if (!TakeText(IDC_SOUND, kTextLimit, values.sound) || !TakeText(IDC_EXEC, kTextLimit, values.exec) ||
      !TakeText(IDC_EXEC_CMDLINE, kCmdlineLimit, values.exec_cmdline) ||
      !TakeText(IDC_EXEC_WORK_FOLDER, kTextLimit, values.exec_work_folder))
    return false;
  values.sound_check = IsChecked(page_, IDC_SOUND_CHECK);
  values.exec_check = IsChecked(page_, IDC_EXEC_CHECK);
  values.exec_duplicate = IsChecked(page_, IDC_EXEC_DUPLICATE);
  values.exec_icon_change = IsChecked(page_, IDC_EXEC_ICON_CHANGE);
  values.list_open = IsChecked(page_, IDC_LIST_OPEN);
  values.balloon = IsChecked(page_, IDC_BALLOON);
  SaveReceivePage(Writer(), data_folder, values);
  return WritesSucceeded();
}

// ---- CPropPg4 "アイコン" --------------------------------------------------

const std::array<CPropPg4::State, 3> CPropPg4::kStates = {{
    {IDC_NORMAL_CHECK, IDC_NORMAL_PATH, IDC_NORMAL_PICK, IDC_NORMAL_PREVIEW, IDI_SETTINGS_NORMAL,
     &IconPageValues::normal},
    {IDC_RECEIVE_CHECK, IDC_RECEIVE_PATH, IDC_RECEIVE_PICK, IDC_RECEIVE_PREVIEW, IDI_SETTINGS_MAIL,
     &IconPageValues::receive},
    {IDC_CONNECT_CHECK, IDC_CONNECT_PATH, IDC_CONNECT_PICK, IDC_CONNECT_PREVIEW, IDI_SETTINGS_CHECKING,
     &IconPageValues::connect},
}};

CPropPg4::CPropPg4(HINSTANCE instance, Profile& profile) : CPropPage(instance, IDD_PAGE_ICONS, profile) {}

void CPropPg4::OnInit() {
  values = LoadIconPage(profile_, data_folder);
  for (const State& s : kStates) {
    LimitText(page_, s.path, kIconPathLimit);
    SetDlgItemTextA(page_, s.path, (values.*s.choice).path.c_str());
  }
  SetBrowsePicture({IDC_NORMAL_PICK, IDC_RECEIVE_PICK, IDC_CONNECT_PICK});
  for (std::size_t n = 0; n < kStates.size(); ++n) {
    SetChecked(page_, kStates[n].check, (values.*kStates[n].choice).use_own);
    EnableState(kStates[n]);
    RefreshPreview(n);
  }
}

void CPropPg4::EnableState(const State& s) { EnableItems(page_, {s.path, s.pick}, IsChecked(page_, s.check)); }

// The state's own icon (large, at its index) when its box is checked and the
// file yields one; the program's icon of that state otherwise.
void CPropPg4::RefreshPreview(std::size_t n) {
  const State& s = kStates[n];
  const IconChoice& choice = values.*s.choice;
  UniqueIcon icon;
  if (IsChecked(page_, s.check)) icon = ExtractFileIcon(choice.path, choice.index, true);
  if (!icon) icon = LoadOwnIcon(instance_, s.own_icon, 32);
  SendDlgItemMessageA(page_, s.preview, STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
  previews_[n] = std::move(icon);
}

void CPropPg4::OnCommand(int id, int code) {
  for (std::size_t n = 0; n < kStates.size(); ++n) {
    const State& s = kStates[n];
    if (id == s.check && code == BN_CLICKED) {
      EnableState(s);
      RefreshPreview(n);
      MarkChanged();
      return;
    }
    if (id == s.path && code == EN_CHANGE) {
      (values.*s.choice).path = ItemText(page_, s.path);
      RefreshPreview(n);
      MarkChanged();
      return;
    }
    if (id == s.pick && code == BN_CLICKED) {
      OnPick(n);
      return;
    }
  }
}

// The picker's choice becomes the state's path and index; the path shows in
// the edit (whose change notice marks the page, when the text differs).
void CPropPg4::OnPick(std::size_t n) {
  const State& s = kStates[n];
  IconChoice& choice = values.*s.choice;
  std::string path = choice.path;
  int index = choice.index;
  if (!PickIcon(page_, path, index)) return;
  choice.index = index;
  choice.path = path;
  RefreshPreview(n);
  SetItemText(page_, s.path, path);
}

bool CPropPg4::OnApply() {
  for (const State& s : kStates) {
    IconChoice& choice = values.*s.choice;
    if (!TakeText(s.path, kIconPathLimit, choice.path)) return false;
    choice.use_own = IsChecked(page_, s.check);
  }
  SaveIconPage(Writer(), data_folder, values);
  return WritesSucceeded();
}

// ---- CPropPg5 "左クリック" ------------------------------------------------

CPropPg5::CPropPg5(HINSTANCE instance, Profile& profile) : CPropPage(instance, IDD_PAGE_CLICK, profile) {}

void CPropPg5::OnInit() {
  values = LoadClickPage(profile_, data_folder);
  SetChecked(page_, values.normal_click == 1 ? IDC_NORMAL_CLICK_LIST : IDC_NORMAL_CLICK_CHECK, true);
  SetChecked(page_,
             values.receive_click == 1   ? IDC_RECEIVE_CLICK_CHECK
             : values.receive_click == 2 ? IDC_RECEIVE_CLICK_EXEC
                                         : IDC_RECEIVE_CLICK_LIST,
             true);
}

void CPropPg5::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return;
  switch (id) {
    case IDC_NORMAL_CLICK_CHECK: values.normal_click = 0; break;
    case IDC_NORMAL_CLICK_LIST: values.normal_click = 1; break;
    case IDC_RECEIVE_CLICK_CHECK: values.receive_click = 1; break;
    case IDC_RECEIVE_CLICK_LIST: values.receive_click = 0; break;
    case IDC_RECEIVE_CLICK_EXEC: values.receive_click = 2; break;
    default: return;
  }
  MarkChanged();
}

bool CPropPg5::OnApply() {
  SaveClickPage(Writer(), data_folder, values);
  return WritesSucceeded();
}

// ---- CPropPg2 "アカウント" ------------------------------------------------

CPropPg2::CPropPg2(HINSTANCE instance, Profile& profile, CodecCalls& codec)
    : CPropPage(instance, IDD_PAGE_ACCOUNTS, profile), codec_(codec) {}

void CPropPg2::OnInit() {
  list.Load(data_folder, SystemPasswordProtector());
  HWND view = GetDlgItem(page_, IDC_ACCOUNT_LIST);
  ListView_SetExtendedListViewStyle(view, LVS_EX_FULLROWSELECT);
  for (std::size_t i = 0; i < kAccountColumnCount; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = kAccountColumns[i].align == 2 ? LVCFMT_CENTER : LVCFMT_LEFT;
    column.cx = kAccountColumns[i].width;
    column.pszText = const_cast<char*>(kAccountColumns[i].title);
    column.iSubItem = static_cast<int>(i);
    SendMessageA(view, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  Refill();
  if (!list.may_save()) {
    // Never save over a file that must be kept: the page shows no accounts,
    // offers no command and says why, and its apply writes nothing.
    EnableItems(page_, {IDC_ACCOUNT_ADD, IDC_ACCOUNT_CHANGE, IDC_ACCOUNT_DELETE}, false);
    ShowNote(AccountPageNote(list.status(), false));
  }
}

// The note under the list view, which gives it the room.
void CPropPg2::ShowNote(const char* text) {
  HWND note = GetDlgItem(page_, IDC_ACCOUNT_NOTE);
  HWND view = GetDlgItem(page_, IDC_ACCOUNT_LIST);
  if (!note || !view) return;
  SetWindowTextA(note, text);
  RECT n{}, v{};
  GetWindowRect(note, &n);
  GetWindowRect(view, &v);
  MapWindowPoints(nullptr, page_, reinterpret_cast<POINT*>(&n), 2);
  MapWindowPoints(nullptr, page_, reinterpret_cast<POINT*>(&v), 2);
  const int gap = 4;
  if (n.top - gap > v.top)
    SetWindowPos(view, nullptr, 0, 0, v.right - v.left, n.top - gap - v.top, SWP_NOMOVE | SWP_NOZORDER);
  ShowWindow(note, SW_SHOWNA);
}

void CPropPg2::Refill() {
  HWND view = GetDlgItem(page_, IDC_ACCOUNT_LIST);
  SendMessageA(view, LVM_DELETEALLITEMS, 0, 0);
  int row = 0;
  for (const CAccount& a : list.accounts()) {
    const auto texts = AccountRowTexts(a);
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<char*>(texts[0].c_str());
    SendMessageA(view, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    for (std::size_t c = 1; c < texts.size(); ++c) {
      item.iSubItem = static_cast<int>(c);
      item.pszText = const_cast<char*>(texts[c].c_str());
      SendMessageA(view, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    }
    ++row;
  }
}

int CPropPg2::SelectionMark() const {
  return static_cast<int>(SendDlgItemMessageA(page_, IDC_ACCOUNT_LIST, LVM_GETSELECTIONMARK, 0, 0));
}

std::string CPropPg2::ShownName(int item) const {
  char text[256] = "";
  LVITEMA li = {};
  li.iSubItem = 0;
  li.pszText = text;
  li.cchTextMax = sizeof text;
  SendDlgItemMessageA(page_, IDC_ACCOUNT_LIST, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&li));
  return text;
}

void CPropPg2::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return;
  switch (id) {
    case IDC_ACCOUNT_ADD: OnAdd(); break;
    case IDC_ACCOUNT_CHANGE: OnChange(); break;
    case IDC_ACCOUNT_DELETE: OnDelete(); break;
    default: break;
  }
}

void CPropPg2::OnAdd() {
  if (!list.CanAdd()) {
    ShowMessage(page_, kTooManyAccountsText);
    return;
  }
  CAccountDlg dialog(instance_, CAccount(), list.accounts(), AccountDialogPlace{data_folder, &profile_});
  if (!dialog.DoModal(page_)) return;
  if (!list.Add(dialog.values())) return;
  Refill();
  MarkChanged();
}

void CPropPg2::OnChange() {
  const int mark = SelectionMark();
  switch (list.CheckSelection(mark, mark >= 0 ? ShownName(mark) : std::string())) {
    case SelectionStatus::kNone: return;
    case SelectionStatus::kMismatch: ShowMessage(page_, kChangeErrorText); return;
    case SelectionStatus::kOk: break;
  }
  CAccountDlg dialog(instance_, list.accounts()[static_cast<std::size_t>(mark)], list.accounts(),
                     AccountDialogPlace{data_folder, &profile_});
  if (!dialog.DoModal(page_)) return;
  if (!list.Change(mark, dialog.values())) return;
  Refill();
  MarkChanged();
}

void CPropPg2::OnDelete() {
  const int mark = SelectionMark();
  switch (list.Delete(mark, mark >= 0 ? ShownName(mark) : std::string())) {
    case SelectionStatus::kNone: return;
    case SelectionStatus::kMismatch: ShowMessage(page_, kDeleteErrorText); return;
    case SelectionStatus::kOk: break;
  }
  Refill();
  MarkChanged();
}

// The released names and the file; a file that could not be read at opening
// is kept as it is. A failed write keeps the sheet open with the edits.
bool CPropPg2::OnApply() {
  if (!list.may_save()) return true;
  if (list.Apply(data_folder, codec_, SystemPasswordProtector())) return true;
  ShowMessage(page_, kAccountSaveFailedText);
  return false;
}

// ---- CSetDlg ------------------------------------------------------------------

CSetDlg::CSetDlg(HINSTANCE instance, const std::string& data_folder, Profile& profile, CodecCalls& codec)
    : page1(instance, profile),
      page3(instance, profile),
      page4(instance, profile),
      page5(instance, profile),
      page2(instance, profile, codec),
      instance_(instance) {
  for (CPropPage* p : Pages()) {
    p->data_folder = data_folder;
    p->set_sheet(this);
  }
}

HWND CSetDlg::OpenSheet() { return g_open_sheet; }

std::array<CPropPage*, 5> CSetDlg::Pages() { return {&page1, &page3, &page4, &page5, &page2}; }

LONG_PTR CSetDlg::ApplyPages(CPropPage& page) {
  // The platform sends PSN_APPLY to the pages with a window in tab order:
  // the first of them starts the round.
  CPropPage* first = nullptr;
  for (CPropPage* p : Pages())
    if (p->window()) {
      first = p;
      break;
    }
  if (&page == first) {
    CPropPage* ini_failed = nullptr;
    for (CPropPage* p : Pages()) {
      if (!p->window()) continue;
      p->RunApply();
      if (p->ini_failed() && !ini_failed) ini_failed = p;
    }
    if (ini_failed) ShowMessage(GetParent(ini_failed->window()), kSettingsSaveFailedText);
  }
  // PSNRET_INVALID ends the round here and shows this page.
  return page.apply_ok() ? PSNRET_NOERROR : PSNRET_INVALID;
}

int CALLBACK CSetDlg::SheetCallback(HWND sheet, UINT message, LPARAM) {
  if (message == PSCB_INITIALIZED) g_open_sheet = sheet;
  return 0;
}

bool CSetDlg::DoModal() {
  if (g_open_sheet) {
    SetForegroundWindow(g_open_sheet);
    return false;
  }
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  const DialogFont font = SheetFont();
  PROPSHEETPAGEA pages[] = {page1.Template(&font), page3.Template(&font), page4.Template(&font),
                            page5.Template(&font), page2.Template(&font)};
  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOCONTEXTHELP | PSH_USECALLBACK;
  header.hwndParent = nullptr;
  header.hInstance = instance_;
  header.pszCaption = "設定";
  header.nPages = sizeof pages / sizeof pages[0];
  header.nStartPage = 0;
  header.ppsp = pages;
  header.pfnCallback = &CSetDlg::SheetCallback;
  PropertySheetA(&header);
  g_open_sheet = nullptr;
  return true;
}

SheetFlags CSetDlg::flags() const {
  SheetFlags f;
  f.message_applied = page1.applied;
  f.message_changed = page1.changed;
  f.account_changed = page2.changed;
  f.receive_changed = page3.changed;
  f.icon_changed = page4.changed;
  f.click_changed = page5.changed;
  return f;
}

}  // namespace tidewell
