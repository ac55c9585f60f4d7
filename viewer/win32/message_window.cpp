#include "viewer/win32/message_window.h"

#include <commdlg.h>
#include <richedit.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/win32/handles.h"
#include "viewer/body_codes.h"
#include "viewer/header_text.h"
#include "viewer/message_window_settings.h"
#include "viewer/win32/profile_file.h"
#include "viewer_res.h"

namespace tidewell {

namespace {

constexpr UINT_PTR kRebuildTimer = 1;
constexpr UINT kRebuildDelayMs = 50;
constexpr int kHeaderHeight = 80;     // the body starts this far down
constexpr int kGroupHeight = 75;
constexpr int kFieldHeight = 12;
constexpr int kFieldMargin = 90;      // edits are this much narrower than the window
constexpr std::size_t kCaptionBytes = 50;
constexpr const char kCaption[] = "Tidewell";

struct FontTraits {
  using Handle = HFONT;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { DeleteObject(h); }
};
using UniqueFont = UniqueHandle<FontTraits>;

struct WindowTraits {
  using Handle = HWND;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { DestroyWindow(h); }
};
using UniqueWindow = UniqueHandle<WindowTraits>;

// Everything the open window owns. Released in reverse order: the control
// before its font, the library last.
struct MessageWindow {
  const MessageWindowOptions* options = nullptr;
  MessageWindowSettings settings;
  LOGFONTA logfont{};
  UniqueLibrary riched;
  UniqueMenu popup;
  UniqueIcon icon;
  UniqueFont font;
  UniqueWindow body;
};

MessageWindow* StateOf(HWND dialog) {
  return reinterpret_cast<MessageWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

WindowRect FromRect(const RECT& r) { return WindowRect{r.left, r.top, r.right, r.bottom}; }

std::string CaptionText(const std::string& text, std::size_t limit) { return text.substr(0, SjisPrefix(text, limit)); }

void BuildLogFont(MessageWindow& w) {
  const MessageWindowSettings& s = w.settings;
  LOGFONTA& lf = w.logfont;
  lf = LOGFONTA{};
  HDC screen = GetDC(nullptr);
  lf.lfHeight = FontHeight(s.font_size, GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  lf.lfWeight = s.font_weight;
  lf.lfItalic = static_cast<BYTE>(s.font_italic);
  lf.lfCharSet = static_cast<BYTE>(s.font_charset);
  CopyToBuffer(s.font_name, lf.lfFaceName, sizeof lf.lfFaceName);
}

// Gives the control its text as plain text: EM_STREAMIN with SF_TEXT never
// reads RTF, whatever the text begins with ("{\\rtf" included).
struct StreamSource {
  const std::string* text;
  std::size_t done;
};

DWORD CALLBACK ReadStream(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
  auto* source = reinterpret_cast<StreamSource*>(cookie);
  const std::size_t left = source->text->size() - source->done;
  const std::size_t n = std::min(left, static_cast<std::size_t>(wanted > 0 ? wanted : 0));
  std::memcpy(buffer, source->text->data() + source->done, n);
  source->done += n;
  *given = static_cast<LONG>(n);
  return 0;
}

void StreamPlainText(HWND control, const std::string& text) {
  StreamSource source{&text, 0};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = ReadStream;
  SendMessageA(control, EM_STREAMIN, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
}

// The body as the reader made it (command 0), or the part on display in the
// code of a code menu command.
void SetBodyText(MessageWindow& w, int command) {
  const DisplayFields& fields = *w.options->fields;
  if (command == 0) {
    StreamPlainText(w.body.get(), fields.body);
  } else {
    StreamPlainText(w.body.get(), BodyTextForCode(*w.options->codec, fields, command));
  }
}

// The window's restored rectangle, made usable when it lies off the screen or
// is smaller than the smallest window.
WindowRect NormalRect(HWND dialog) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(dialog, &placement);
  return UsablePlacement(FromRect(placement.rcNormalPosition));
}

void LayOut(HWND dialog, int width, int height) {
  MessageWindow* w = StateOf(dialog);
  if (w && w->body) MoveWindow(w->body.get(), 0, kHeaderHeight, width, height - kHeaderHeight, TRUE);
  SetWindowPos(GetDlgItem(dialog, IDC_MESSAGE_GROUP), nullptr, 0, 0, width, kGroupHeight,
               SWP_NOMOVE | SWP_NOZORDER);
  for (int id : {IDC_MESSAGE_FROM, IDC_MESSAGE_DATE, IDC_MESSAGE_SUBJECT}) {
    SetWindowPos(GetDlgItem(dialog, id), nullptr, 0, 0, width - kFieldMargin, kFieldHeight,
                 SWP_NOMOVE | SWP_NOZORDER);
  }
}

// Replaces the rich edit control by one with the other wrap setting; the body
// goes back to the reader's text.
void RebuildBody(HWND dialog) {
  MessageWindow& w = *StateOf(dialog);
  w.body.reset();
  w.settings.wrap = !w.settings.wrap;
  CheckMenuItem(GetMenu(dialog), ID_MESSAGE_WRAP, w.settings.wrap ? MF_CHECKED : MF_UNCHECKED);

  DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY;
  if (!w.settings.wrap) style |= WS_HSCROLL | ES_AUTOHSCROLL | ES_AUTOVSCROLL;
  w.body.reset(CreateWindowExA(WS_EX_CLIENTEDGE, "RICHEDIT", "", style, 0, kHeaderHeight, 10, 10, dialog,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MESSAGE_BODY)),
                               GetModuleHandleA(nullptr), nullptr));
  if (!w.body) return;
  w.font.reset(CreateFontIndirectA(&w.logfont));
  SendMessageA(w.body.get(), WM_SETFONT, reinterpret_cast<WPARAM>(w.font.get()), TRUE);
  // Rich edit controls hold 32K characters unless told otherwise.
  SendMessageA(w.body.get(), EM_EXLIMITTEXT, 0, static_cast<LPARAM>(kBodyBuffer));
  SendMessageA(w.body.get(), EM_SETTEXTMODE, TM_PLAINTEXT, 0);
  SetBodyText(w, 0);

  const WindowRect r = NormalRect(dialog);
  MoveWindow(dialog, r.left, r.top, r.right - r.left, r.bottom - r.top - 1, FALSE);
  MoveWindow(dialog, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);

  SendMessageA(w.body.get(), EM_SETWORDWRAPMODE, WBF_WORDWRAP, 0);
  const LRESULT mask = SendMessageA(w.body.get(), EM_GETEVENTMASK, 0, 0);
  SendMessageA(w.body.get(), EM_SETEVENTMASK, 0, mask | ENM_MOUSEEVENTS);
}

void SaveSettings(HWND dialog) {
  MessageWindow& w = *StateOf(dialog);
  // Maximised or minimised (where the window stands at -32000, -32000): the
  // rectangle it comes back to.
  if (IsZoomed(dialog) || IsIconic(dialog)) {
    w.settings.rect = NormalRect(dialog);
  } else {
    RECT r{};
    GetWindowRect(dialog, &r);
    w.settings.rect = FromRect(r);
  }
  ProfileFileSection profile(w.options->ini_path, kMessageWindowSection);
  WriteMessageWindowSettings(profile, w.settings);
}

void SaveAs(HWND dialog) {
  const MessageWindow& w = *StateOf(dialog);
  char file[MAX_PATH] = "";
  static const char kFilter[] = "eml ファイル(*.eml)\0*.eml\0すべてのファイル(*.*)\0*.*\0";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = dialog;
  ofn.lpstrFilter = kFilter;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrInitialDir = w.options->save_folder.c_str();
  ofn.lpstrTitle = "名前を付けて保存";
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_LONGNAMES;
  if (!GetSaveFileNameA(&ofn)) return;
  CopyFileA(w.options->save_source.c_str(), file, FALSE);
}

void ChooseBodyFont(HWND dialog) {
  MessageWindow& w = *StateOf(dialog);
  LOGFONTA chosen = w.logfont;
  CHOOSEFONTA cf{};
  cf.lStructSize = sizeof cf;
  cf.hwndOwner = dialog;
  cf.lpLogFont = &chosen;
  cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_TTONLY;
  if (!ChooseFontA(&cf)) return;
  w.logfont = chosen;
  w.settings.font_size = cf.iPointSize;
  w.settings.font_name = chosen.lfFaceName;
  w.settings.font_weight = chosen.lfWeight;
  w.settings.font_italic = chosen.lfItalic;
  w.settings.font_charset = chosen.lfCharSet;
  w.font.reset(CreateFontIndirectA(&w.logfont));
  if (w.body) SendMessageA(w.body.get(), WM_SETFONT, reinterpret_cast<WPARAM>(w.font.get()), TRUE);
}

// Right button in the body: the copy menu, grayed without a selection.
void ShowCopyMenu(HWND dialog) {
  MessageWindow& w = *StateOf(dialog);
  CHARRANGE range{};
  SendMessageA(w.body.get(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  bool selected = false;
  if (range.cpMax > range.cpMin) {
    std::vector<char> text(static_cast<std::size_t>(range.cpMax - range.cpMin) * 4 + 4, '\0');
    SendMessageA(w.body.get(), EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(text.data()));
    selected = text[0] != '\0';
  }
  HMENU menu = GetSubMenu(w.popup.get(), 0);
  EnableMenuItem(menu, ID_MESSAGE_COPY, MF_BYCOMMAND | (selected ? MF_ENABLED : MF_GRAYED));
  POINT at{};
  GetCursorPos(&at);
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, dialog, nullptr);
}

BOOL OnInitDialog(HWND dialog, LPARAM param) {
  auto* w = reinterpret_cast<MessageWindow*>(param);
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(w));
  const MessageWindowOptions& o = *w->options;

  RECT desktop{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  ProfileFileSection profile(o.ini_path, kMessageWindowSection);
  w->settings = ReadMessageWindowSettings(profile, desktop.right, desktop.bottom);
  BuildLogFont(*w);

  w->icon.reset(static_cast<HICON>(LoadImageA(o.resources, MAKEINTRESOURCEA(IDI_MESSAGE), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
  if (w->icon) SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(w->icon.get()));
  SetWindowTextA(dialog, kCaption);
  SetDlgItemTextA(dialog, IDC_MESSAGE_SUBJECT, o.fields->subject.c_str());
  SetDlgItemTextA(dialog, IDC_MESSAGE_DATE, o.fields->date.c_str());
  SetDlgItemTextA(dialog, IDC_MESSAGE_FROM, o.fields->sender.c_str());
  w->popup.reset(LoadMenuA(o.resources, MAKEINTRESOURCEA(IDR_MESSAGE_POPUP)));

  w->riched.reset(LoadLibraryA("RICHED32.DLL"));
  if (!w->riched) {
    EndDialog(dialog, IDCANCEL);
    MessageBoxA(nullptr, "表示に失敗しました。", kCaption, MB_OK);
    return TRUE;
  }
  const WindowRect& r = w->settings.rect;
  MoveWindow(dialog, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  w->settings.wrap = !w->settings.wrap;
  RebuildBody(dialog);
  SetTimer(dialog, kRebuildTimer, kRebuildDelayMs, nullptr);
  return TRUE;
}

void OnTimer(HWND dialog, UINT_PTR id) {
  if (id != kRebuildTimer) return;
  KillTimer(dialog, kRebuildTimer);
  MessageWindow& w = *StateOf(dialog);
  w.settings.wrap = !w.settings.wrap;
  RebuildBody(dialog);
  if (w.body) SetFocus(w.body.get());
  if (w.options->caption_from_subject) {
    SetWindowTextA(dialog, CaptionText(w.options->fields->subject, kCaptionBytes).c_str());
  }
}

void OnCommand(HWND dialog, int id) {
  MessageWindow& w = *StateOf(dialog);
  switch (id) {
    case IDOK:
    case IDCANCEL:
    case ID_MESSAGE_CLOSE:
      SaveSettings(dialog);
      EndDialog(dialog, id);
      break;
    case ID_MESSAGE_SAVE_AS:
      SaveAs(dialog);
      break;
    case ID_MESSAGE_CODE_JIS:
    case ID_MESSAGE_CODE_SJIS:
    case ID_MESSAGE_CODE_EUC:
    case ID_MESSAGE_CODE_UTF7:
    case ID_MESSAGE_CODE_UTF8:
    case ID_MESSAGE_CODE_UTF16:
      if (w.body) SetBodyText(w, id);
      break;
    case ID_MESSAGE_WRAP:
      RebuildBody(dialog);
      if (w.body) SetFocus(w.body.get());
      break;
    case ID_MESSAGE_COPY:
      if (w.body) SendMessageA(w.body.get(), WM_COPY, 0, 0);
      break;
    case ID_MESSAGE_FONT:
      ChooseBodyFont(dialog);
      break;
    default:
      break;
  }
}

BOOL OnNotify(HWND dialog, const NMHDR* header) {
  MessageWindow* w = StateOf(dialog);
  if (!w || !w->body || header->hwndFrom != w->body.get() || header->code != EN_MSGFILTER) return FALSE;
  const auto* filter = reinterpret_cast<const MSGFILTER*>(header);
  if (filter->msg == WM_RBUTTONDOWN) ShowCopyMenu(dialog);
  return FALSE;
}

INT_PTR CALLBACK MessageWindowProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog(dialog, lparam);
    case WM_TIMER:
      OnTimer(dialog, wparam);
      return TRUE;
    case WM_COMMAND:
      if (StateOf(dialog)) OnCommand(dialog, LOWORD(wparam));
      return TRUE;
    case WM_SIZE:
      LayOut(dialog, LOWORD(lparam), HIWORD(lparam));
      return TRUE;
    case WM_GETMINMAXINFO:
      reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = POINT{kMinWindowWidth, kMinWindowHeight};
      return TRUE;
    case WM_NOTIFY:
      return OnNotify(dialog, reinterpret_cast<const NMHDR*>(lparam));
    case WM_DESTROY:
      if (MessageWindow* w = StateOf(dialog)) {
        KillTimer(dialog, kRebuildTimer);
        w->body.reset();
        w->font.reset();
        w->popup.reset();
        w->riched.reset();
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR ShowMessageWindow(const MessageWindowOptions& options) {
  MessageWindow window;
  window.options = &options;
  return DialogBoxParamA(options.resources, MAKEINTRESOURCEA(IDD_MESSAGE), options.owner, MessageWindowProc,
                         reinterpret_cast<LPARAM>(&window));
}

}  // namespace tidewell
