// The balloon notice on the main tray icon after a check with new mail
// (NIF_INFO), and the texts it is built from: the account mail files of the
// accounts in list order.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "tidewell/engine/balloon_notice.h"

namespace tidewell {

// The shell call, replaceable by a test.
using NotifyIconFunction = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAA);

// The structure handed to the shell for the notice: NIM_MODIFY of icon `id`
// of `owner` with NIF_INFO only (icon and tip are left as they are), the
// version-2 size that carries the balloon fields, NIIF_INFO, 10 seconds.
NOTIFYICONDATAA BalloonData(HWND owner, UINT id, const BalloonNotice& notice);

// Shows the notice on icon `id` of `owner`; false when the shell refused.
bool ShowBalloon(HWND owner, UINT id, const BalloonNotice& notice, NotifyIconFunction notify = Shell_NotifyIconA);

// The account mail files of the display names, read whole ("" when missing).
std::vector<std::string> ReadAccountMailFiles(const std::string& data_folder, const std::vector<std::string>& names);

}  // namespace tidewell
