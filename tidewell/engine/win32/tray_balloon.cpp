#include "tidewell/engine/win32/tray_balloon.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/atomic_file.h"
#include "tidewell/engine/summary_file.h"
#include "tidewell/engine/win32/notify_codec.h"

namespace tidewell {
namespace {

constexpr UINT kBalloonTimeoutMs = 10000;

}  // namespace

NOTIFYICONDATAA BalloonData(HWND owner, UINT id, const BalloonNotice& notice) {
  NOTIFYICONDATAA nid;
  std::memset(&nid, 0, sizeof nid);
  nid.cbSize = NOTIFYICONDATAA_V2_SIZE;
  nid.hWnd = owner;
  nid.uID = id;
  nid.uFlags = NIF_INFO;
  nid.uTimeout = kBalloonTimeoutMs;
  nid.dwInfoFlags = NIIF_INFO;
  // The notice's texts already fit their fields (balloon_notice.h).
  std::memcpy(nid.szInfoTitle, notice.title.c_str(), std::min(notice.title.size(), sizeof nid.szInfoTitle - 1));
  std::memcpy(nid.szInfo, notice.text.c_str(), std::min(notice.text.size(), sizeof nid.szInfo - 1));
  return nid;
}

bool ShowBalloon(HWND owner, UINT id, const BalloonNotice& notice, NotifyIconFunction notify) {
  NOTIFYICONDATAA nid = BalloonData(owner, id, notice);
  return notify(NIM_MODIFY, &nid) != FALSE;
}

std::vector<std::string> ReadAccountMailFiles(const std::string& data_folder, const std::vector<std::string>& names) {
  Win32NotifyCodec codec;
  std::vector<std::string> files;
  for (const std::string& name : names) {
    std::string text;
    ReadWholeFile(AccountMailFilePath(codec, data_folder, name), text);  // a missing file stays ""
    files.push_back(std::move(text));
  }
  return files;
}

}  // namespace tidewell
