#include "tidewell/engine/win32/help_file.h"

#include <windows.h>
#include <htmlhelp.h>

#include "tidewell/engine/win32/module_folder.h"

namespace tidewell {
namespace {

using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

// The control stays loaded once found: the help window lives on after the
// call returns.
HtmlHelpFn HtmlHelpEntry() {
  static HtmlHelpFn entry = [] {
    HMODULE control = LoadLibraryA("hhctrl.ocx");
    if (!control) return HtmlHelpFn{};
    return reinterpret_cast<HtmlHelpFn>(reinterpret_cast<void*>(GetProcAddress(control, "HtmlHelpA")));
  }();
  return entry;
}

}  // namespace

std::string HelpFilePath() { return BesideProgram("Tidewell.chm"); }

bool ShowHelp() {
  HtmlHelpFn html_help = HtmlHelpEntry();
  if (!html_help) return false;
  std::string path = HelpFilePath();
  return html_help(nullptr, path.c_str(), HH_DISPLAY_TOPIC, 0) != nullptr;
}

}  // namespace tidewell
