// Reading the list view's selection and item data, shared by the list window
// and the POP3 session driver that works on the selected rows.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

namespace tidewell {

// Indices of the selected rows, top to bottom.
inline std::vector<int> SelectedItems(HWND list_view) {
  std::vector<int> items;
  for (int i = static_cast<int>(SendMessageA(list_view, LVM_GETNEXTITEM, -1, LVNI_SELECTED)); i >= 0;
       i = static_cast<int>(SendMessageA(list_view, LVM_GETNEXTITEM, i, LVNI_SELECTED)))
    items.push_back(i);
  return items;
}

// The item data (lParam) of a row.
inline LPARAM ItemData(HWND list_view, int index) {
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = index;
  SendMessageA(list_view, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return item.lParam;
}

}  // namespace tidewell
