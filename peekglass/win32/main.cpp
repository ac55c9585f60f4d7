// Peekglass.exe: shows one message file in the message window. The whole
// command line is the file's path; Quillbox.ini is taken from the folder it
// was started in. Save as copies the file on display.
#include <windows.h>

#include <string>

#include "common/paths.h"
#include "common/win32/inkwell_dll.h"
#include "common/win32/own_module.h"
#include "viewer/command_line.h"
#include "viewer/display_pipeline.h"
#include "viewer/win32/message_file.h"
#include "viewer/win32/message_window.h"

namespace {

constexpr const char kCaption[] = "Tidewell";

std::string StartupFolder() {
  char folder[MAX_PATH] = "";
  const DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
  return n > 0 && n < sizeof folder ? std::string(folder, n) : std::string();
}

// The path against the current folder at start: the save dialog may change
// the current folder later, and the file on display must stay the same one.
std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  DWORD n = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::string full(n, '\0');
  n = GetFullPathNameA(path.c_str(), n, &full[0], nullptr);
  if (n == 0 || n >= full.size()) return path;
  full.resize(n);
  return full;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  using namespace tidewell;
  // The current folder is the data folder or the folder of a message opened
  // from Explorer: libraries are never taken from there.
  RestrictDllSearch();
  const std::string path = AbsolutePath(PathFromCommandLine(command_line ? command_line : ""));
  const std::string startup = StartupFolder();

  std::string text;
  if (!ReadMessageFile(path, FILE_SHARE_READ, text)) {
    MessageBoxA(nullptr, "ファイルのオープンに失敗しました。", kCaption, MB_OK);
    return 0;
  }
  // Inkwell2.dll from the program's folder only.
  InkwellDllTextCodec codec;
  DisplayFields fields;
  if (BuildDisplay(codec, text, PipelineOptions::Standalone(), fields) != DisplayError::kNone) {
    MessageBoxA(nullptr, "メッセージ表示に失敗しました。", kCaption, MB_OK);
  }
  text = std::string();

  MessageWindowOptions options;
  options.resources = instance;
  options.fields = &fields;
  options.codec = &codec;
  options.ini_path = JoinPath(startup, "Quillbox.ini");
  options.save_source = path;
  options.save_folder = startup;
  options.caption_from_subject = true;
  ShowMessageWindow(options);
  return 0;
}
