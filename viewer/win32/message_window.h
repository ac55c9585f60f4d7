// The message window (dialog 110): sender, date and subject at the top, the
// body in a read-only rich edit control below, with the code menu, line
// wrapping, font choice, copy and save as. Shown modally; its placement, wrap
// setting and font live in Quillbox.ini [MessageWindow].
#pragma once

#include <windows.h>

#include <string>

#include "common/text_codec.h"
#include "viewer/display_pipeline.h"

namespace tidewell {

struct MessageWindowOptions {
  HINSTANCE resources = nullptr;  // module holding dialog 110 and menus 113, 118
  HWND owner = nullptr;
  const DisplayFields* fields = nullptr;
  TextCodec* codec = nullptr;     // the code menu's conversions
  std::string ini_path;           // Quillbox.ini
  std::string save_source;        // the file Save as copies: the message on display
  std::string save_folder;        // where the Save as dialog starts
  // Standalone viewer: 50 ms after opening the caption becomes the subject.
  bool caption_from_subject = false;
};

// Shows the window and returns the command that closed it (IDOK, IDCANCEL or
// the close command), 2 when RICHED32.DLL cannot be loaded, -1 when the
// dialog cannot be created.
INT_PTR ShowMessageWindow(const MessageWindowOptions& options);

}  // namespace tidewell
