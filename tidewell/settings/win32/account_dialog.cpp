#include "tidewell/settings/win32/account_dialog.h"

#include <string>

#include "settings_res.h"
#include "tidewell/settings/account_page.h"
#include "tidewell/settings/sheet_rules.h"
#include "tidewell/settings/win32/dialog_items.h"
#include "tidewell/settings/win32/file_pickers.h"

namespace tidewell {

namespace {

constexpr int kPriorityEditChars = 6;

}  // namespace

bool CAccountDlg::DoModal(HWND owner) {
  return DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ACCOUNT), owner, &CAccountDlg::Proc,
                         reinterpret_cast<LPARAM>(this)) == IDOK;
}

INT_PTR CALLBACK CAccountDlg::Proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  CAccountDlg* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CAccountDlg*>(lparam);
    self->dialog_ = dialog;
    SetWindowLongPtrA(dialog, DWLP_USER, lparam);
    self->OnInitDialog();
    return TRUE;
  }
  self = reinterpret_cast<CAccountDlg*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (!self) return FALSE;
  if (message == WM_COMMAND) return self->OnCommand(LOWORD(wparam), HIWORD(wparam)) ? TRUE : FALSE;
  return FALSE;
}

// Opening: the members into the controls with their limits, the three groups
// enabled by their boxes, the button pictures and the icon preview.
void CAccountDlg::OnInitDialog() {
  for (const AccountEditLimit& l : kAccountEditLimits) LimitText(dialog_, l.control, l.chars);
  LimitText(dialog_, IDC_ACC_PRIORITY, kPriorityEditChars);
  SetDlgItemTextA(dialog_, IDC_ACC_NAME, values_.display_name.c_str());
  SetDlgItemTextA(dialog_, IDC_ACC_USER, values_.user_id.c_str());
  SetDlgItemTextA(dialog_, IDC_ACC_PASSWORD, values_.password.c_str());
  SetDlgItemTextA(dialog_, IDC_ACC_SERVER, values_.server.c_str());
  SetDlgItemTextA(dialog_, IDC_ACC_PORT, std::to_string(static_cast<unsigned>(values_.port)).c_str());
  SetDlgItemTextA(dialog_, IDC_ACC_PRIORITY, std::to_string(static_cast<unsigned>(values_.priority)).c_str());
  SetDlgItemTextA(dialog_, IDC_ACC_ICON_FILE, values_.icon_file.c_str());
  SetDlgItemTextA(dialog_, IDC_ACC_SOUND_FILE, values_.sound_file.c_str());
  SetDlgItemTextA(dialog_, IDC_ACC_PROGRAM, values_.program_path.c_str());
  SetDlgItemTextA(dialog_, IDC_ACC_CMDLINE, values_.command_line.c_str());
  SetDlgItemTextA(dialog_, IDC_ACC_WORK_FOLDER, values_.work_folder.c_str());
  opening_name_ = values_.display_name.str();

  for (const char* name : kSecurityNames) SendDlgItemMessageA(dialog_, IDC_ACC_SECURITY, CB_ADDSTRING, 0,
                                                               reinterpret_cast<LPARAM>(name));
  // A mode this build does not know shows as TLS on connect, as it is checked.
  security_ = values_.tls_mode >= 0 && values_.tls_mode < kSecurityCount ? values_.tls_mode : kTlsOnConnect;
  SendDlgItemMessageA(dialog_, IDC_ACC_SECURITY, CB_SETCURSEL, security_, 0);
  SetChecked(dialog_, IDC_ACC_ICON_CHECK, values_.icon_flag == 1);
  SetChecked(dialog_, IDC_ACC_SOUND_CHECK, values_.sound_flag == 1);
  SetChecked(dialog_, IDC_ACC_EXEC_CHECK, values_.exec_flag == 1);
  SetChecked(dialog_, IDC_ACC_NO_DUPLICATE, values_.no_duplicate == 1);
  SetChecked(dialog_, IDC_ACC_ICON_TO_NORMAL, values_.icon_to_normal == 1);
  EnableGroups();
  InitSignIn();

  button_picture_ = LoadOwnIcon(instance_, IDI_BROWSE, 16);
  for (int id : {IDC_ACC_ICON_PICK, IDC_ACC_SOUND_BROWSE, IDC_ACC_PROGRAM_BROWSE})
    SendDlgItemMessageA(dialog_, id, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(button_picture_.get()));

  UniqueIcon icon = ExtractFileIcon(values_.icon_file.str(), values_.icon_index, false);
  ShowPreview(icon ? std::move(icon) : LoadOwnIcon(instance_, IDI_ACCOUNT_DEFAULT, 16));
}

bool CAccountDlg::OnCommand(int id, int code) {
  if (id == IDC_ACC_SECURITY && code == CBN_SELCHANGE) {
    OnSecurityChange();
    UpdateSignIn();
    return true;
  }
  if ((id == IDC_ACC_METHOD || id == IDC_ACC_PROVIDER) && code == CBN_SELCHANGE) {
    UpdateSignIn();
    return true;
  }
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDOK: OnOk(); return true;
    case IDCANCEL:
      StopSignIn();
      EndDialog(dialog_, IDCANCEL);
      return true;
    case IDC_ACC_SIGNIN: OnSignIn(); return true;
    case IDC_ACC_ICON_CHECK:
    case IDC_ACC_SOUND_CHECK:
    case IDC_ACC_EXEC_CHECK: EnableGroups(); return true;
    case IDC_ACC_ICON_PICK: OnPickIcon(); return true;
    case IDC_ACC_SOUND_BROWSE: OnBrowse(IDC_ACC_SOUND_FILE, true); return true;
    case IDC_ACC_PROGRAM_BROWSE: OnBrowse(IDC_ACC_PROGRAM, false); return true;
    case IDC_ACC_TEST: OnConnectionTest(); return true;
    default: return false;
  }
}

// Each group follows its box; the boxes' own states are kept while disabled.
void CAccountDlg::EnableGroups() {
  EnableItems(dialog_, {IDC_ACC_ICON_FILE, IDC_ACC_ICON_PICK}, IsChecked(dialog_, IDC_ACC_ICON_CHECK));
  EnableItems(dialog_, {IDC_ACC_SOUND_FILE, IDC_ACC_SOUND_BROWSE}, IsChecked(dialog_, IDC_ACC_SOUND_CHECK));
  EnableItems(dialog_,
              {IDC_ACC_PROGRAM, IDC_ACC_CMDLINE, IDC_ACC_WORK_FOLDER, IDC_ACC_PROGRAM_BROWSE, IDC_ACC_NO_DUPLICATE,
               IDC_ACC_ICON_TO_NORMAL},
              IsChecked(dialog_, IDC_ACC_EXEC_CHECK));
}

// TLS on connect chosen with port 110 moves the port to 995, and leaving it
// moves 995 back to 110; any other port stays as typed.
void CAccountDlg::OnSecurityChange() {
  const int mode = static_cast<int>(SendDlgItemMessageA(dialog_, IDC_ACC_SECURITY, CB_GETCURSEL, 0, 0));
  if (mode < 0 || mode >= kSecurityCount) return;
  unsigned port = 0;
  if (ParseUnsignedText(ItemText(dialog_, IDC_ACC_PORT), kPortMax, port) == NumberCheck::kOk) {
    const int moved = PortForTlsMode(security_, mode, static_cast<int>(port));
    if (moved != static_cast<int>(port)) SetItemText(dialog_, IDC_ACC_PORT, std::to_string(moved));
  }
  security_ = mode;
}

void CAccountDlg::ShowPreview(UniqueIcon icon) {
  SendDlgItemMessageA(dialog_, IDC_ACC_ICON_PREVIEW, STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
  preview_ = std::move(icon);  // the old one is no longer shown: released
}

// The icon picker on the icon file and index; the preview changes only when
// the chosen file yields an icon.
void CAccountDlg::OnPickIcon() {
  std::string path = ItemText(dialog_, IDC_ACC_ICON_FILE);
  int index = values_.icon_index;
  if (!PickIcon(dialog_, path, index)) return;
  values_.icon_index = index;
  UniqueIcon icon = ExtractFileIcon(path, index, false);
  if (icon) ShowPreview(std::move(icon));
  SetItemText(dialog_, IDC_ACC_ICON_FILE, path);
}

void CAccountDlg::OnBrowse(int edit, bool wave) {
  std::string text = ItemText(dialog_, edit);
  if (BrowseForFile(dialog_, wave ? BrowseKind::kWave : BrowseKind::kProgram, text)) SetItemText(dialog_, edit, text);
}

// OK: the texts against their limits and ranges, the uniqueness of the display
// name, the required fields; then the check boxes. Any refusal keeps the
// dialog open with the entries as they are.
void CAccountDlg::OnOk() {
  AccountEntryTexts t;
  t.display_name = ItemText(dialog_, IDC_ACC_NAME);
  t.user_id = ItemText(dialog_, IDC_ACC_USER);
  t.password = ItemText(dialog_, IDC_ACC_PASSWORD);
  t.server = ItemText(dialog_, IDC_ACC_SERVER);
  t.port = ItemText(dialog_, IDC_ACC_PORT);
  t.priority = ItemText(dialog_, IDC_ACC_PRIORITY);
  t.icon_file = ItemText(dialog_, IDC_ACC_ICON_FILE);
  t.sound_file = ItemText(dialog_, IDC_ACC_SOUND_FILE);
  t.program_path = ItemText(dialog_, IDC_ACC_PROGRAM);
  t.command_line = ItemText(dialog_, IDC_ACC_CMDLINE);
  t.work_folder = ItemText(dialog_, IDC_ACC_WORK_FOLDER);
  t.password_required = MethodShown() != static_cast<int>(SignInChoice::kOAuth);
  CAccount entry = values_;
  const AccountEntryCheck check = TakeAccountEntry(t, opening_name_, list_, entry);
  if (!check.ok) {
    RefuseItem(dialog_, check.control, check.message);
    return;
  }
  entry.icon_flag = IsChecked(dialog_, IDC_ACC_ICON_CHECK) ? 1 : 0;
  entry.sound_flag = IsChecked(dialog_, IDC_ACC_SOUND_CHECK) ? 1 : 0;
  entry.exec_flag = IsChecked(dialog_, IDC_ACC_EXEC_CHECK) ? 1 : 0;
  entry.no_duplicate = IsChecked(dialog_, IDC_ACC_NO_DUPLICATE) ? 1 : 0;
  entry.icon_to_normal = IsChecked(dialog_, IDC_ACC_ICON_TO_NORMAL) ? 1 : 0;
  entry.tls_mode = security_;
  TakeSignIn(entry);
  values_ = entry;
  EndDialog(dialog_, IDOK);
}

}  // namespace tidewell
