#include "tidewell/settings/win32/dialog_items.h"

namespace tidewell {

std::string ItemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) return std::string();
  const int length = GetWindowTextLengthA(item);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
  const int got = GetWindowTextA(item, &text[0], static_cast<int>(text.size()));
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

void SetItemText(HWND dialog, int id, const std::string& text) {
  if (ItemText(dialog, id) != text) SetDlgItemTextA(dialog, id, text.c_str());
}

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void SetChecked(HWND dialog, int id, bool on) { CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED); }

void EnableItems(HWND dialog, std::initializer_list<int> ids, bool enable) {
  for (int id : ids) EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE);
}

void LimitText(HWND dialog, int id, int chars) { SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, chars, 0); }

void ShowMessage(HWND owner, const std::string& text) { MessageBoxA(owner, text.c_str(), "", MB_OK); }

void RefuseItem(HWND dialog, int id, const std::string& message) {
  ShowMessage(dialog, message);
  HWND item = GetDlgItem(dialog, id);
  if (!item) return;
  SetFocus(item);
  SendMessageA(item, EM_SETSEL, 0, -1);
}

}  // namespace tidewell
