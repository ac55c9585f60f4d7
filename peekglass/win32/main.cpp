// Peekglass.exe: shows one message file in the message window. The whole
// command line is the file's path; Quillbox.ini is taken from the folder it
// was started in. Save as copies the file on display.
#include <windows.h>

#include <string>

#include "common/paths.h"
#include "common/win32/inkwell_dll.h"
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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  using namespace tidewell;
  const std::string path = PathFromCommandLine(command_line ? command_line : "");
  const std::string startup = StartupFolder();

  std::string text;
  if (!ReadMessageFile(path, FILE_SHARE_READ, text)) {
    MessageBoxA(nullptr, "ファイルのオープンに失敗しました。", kCaption, MB_OK);
    return 0;
  }
  // Inkwell2.dll is found beside the program first.
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
