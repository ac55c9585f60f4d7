// Small chores of the settings dialogs: texts, check boxes, enabling and edit
// limits of the controls of a dialog, by control id.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace tidewell {

// The whole text of a control (any length), as the A functions give it.
std::string ItemText(HWND dialog, int id);

// Sets the text only when it differs, so that an unchanged text sends no
// change notice (and does not mark a page modified).
void SetItemText(HWND dialog, int id, const std::string& text);

bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool on);

// Enables or disables every listed control.
void EnableItems(HWND dialog, std::initializer_list<int> ids, bool enable);

void LimitText(HWND dialog, int id, int chars);

// Message box of the settings dialogs: owned by owner, no caption, OK button.
void ShowMessage(HWND owner, const std::string& text);

// Shows the message, then gives the control the focus and selects its text.
void RefuseItem(HWND dialog, int id, const std::string& message);

}  // namespace tidewell
