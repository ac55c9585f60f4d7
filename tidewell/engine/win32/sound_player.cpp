#include "tidewell/engine/win32/sound_player.h"

#include <mmsystem.h>

namespace tidewell {

void SoundPlayer::FetchError(MCIERROR error) {
  char text[128] = {};
  mciGetErrorStringA(error, text, sizeof(text));
  text[sizeof(text) - 1] = '\0';
  last_error_ = text;
}

int SoundPlayer::Play(HWND notify_window, const std::string& file) {
  Close();
  element_ = file;
  MCI_OPEN_PARMSA open{};
  open.lpstrDeviceType = reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(MCI_DEVTYPE_WAVEFORM_AUDIO));
  open.lpstrElementName = element_.c_str();
  MCIERROR error = mciSendCommandA(0, MCI_OPEN, MCI_WAIT | MCI_OPEN_ELEMENT | MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID,
                                   reinterpret_cast<DWORD_PTR>(&open));
  if (error != 0) {
    FetchError(error);
    return -1;
  }
  device_ = open.wDeviceID;
  MCI_PLAY_PARMS play{};
  play.dwCallback = reinterpret_cast<DWORD_PTR>(notify_window);
  play.dwFrom = 0;
  error = mciSendCommandA(device_, MCI_PLAY, MCI_NOTIFY | MCI_FROM, reinterpret_cast<DWORD_PTR>(&play));
  if (error != 0) {
    FetchError(error);
    Close();
    return -1;
  }
  return 1;
}

void SoundPlayer::Close() {
  if (device_ == 0) return;
  MCI_GENERIC_PARMS close{};
  MCIERROR error = mciSendCommandA(device_, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&close));
  if (error != 0) FetchError(error);
  device_ = 0;
}

}  // namespace tidewell
