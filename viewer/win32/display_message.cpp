#include "viewer/win32/display_message.h"

#include <shellapi.h>

#include "common/paths.h"
#include "common/win32/inkwell_dll.h"
#include "viewer/display_pipeline.h"
#include "viewer/win32/message_file.h"
#include "viewer/win32/message_window.h"

namespace tidewell {

namespace {

constexpr const char kCaption[] = "Tidewell";

std::string TempCopyPath(const std::string& data_folder) {
  return JoinPath(MailFolderPath(data_folder), "mailtemp.eml");
}

void ShowFailure(HWND owner, DisplayError error) {
  const std::string text = "メッセージ表示に失敗しました。(" + std::to_string(static_cast<int>(error)) + ")";
  MessageBoxA(owner, text.c_str(), kCaption, MB_OK);
}

INT_PTR ShowInOwnWindow(const DisplayRequest& request) {
  std::string text;
  if (!ReadMessageFile(request.cache_path, 0, text)) {
    ShowFailure(request.list_window, DisplayError::kCannotOpen);
    MessageBoxA(request.list_window, request.cache_path.c_str(), kCaption, MB_OK);
    return 0;
  }
  InkwellDllTextCodec codec;
  DisplayFields fields;
  const DisplayError error = BuildDisplay(codec, text, PipelineOptions::List(), fields);
  text = std::string();
  if (error != DisplayError::kNone) {
    ShowFailure(request.list_window, error);
    return 0;
  }
  MessageWindowOptions options;
  options.resources = request.resources;
  options.owner = request.list_window;
  options.fields = &fields;
  options.codec = &codec;
  options.ini_path = JoinPath(request.data_folder, "Quillbox.ini");
  // Save as copies the message on display (mailtemp.eml holds whatever
  // message was last handed to the associated program, if any).
  options.save_source = request.cache_path;
  options.save_folder = request.data_folder;
  return ShowMessageWindow(options);
}

}  // namespace

INT_PTR DisplayMessage(const DisplayRequest& request) {
  switch (request.mode) {
    case 0:
      return ShowInOwnWindow(request);
    case 1: {
      // Opening an older copy would show another message: nothing is opened
      // when the copy fails.
      const std::string temp = TempCopyPath(request.data_folder);
      if (!CopyFileA(request.cache_path.c_str(), temp.c_str(), FALSE)) return 0;
      return reinterpret_cast<INT_PTR>(
          ShellExecuteA(request.list_window, "open", temp.c_str(), nullptr, nullptr, SW_SHOW));
    }
    case 2: {
      const std::string program = JoinPath(request.library_folder, "Peekglass.exe");
      return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", program.c_str(), request.cache_path.c_str(),
                                                     request.data_folder.c_str(), SW_SHOW));
    }
    default:
      return 0;
  }
}

}  // namespace tidewell
