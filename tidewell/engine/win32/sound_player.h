// Plays one .wav file through the multimedia control interface. The device
// reports the end of the sound with MM_MCINOTIFY to the given window.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <string>

namespace tidewell {

class SoundPlayer {
 public:
  SoundPlayer() = default;
  ~SoundPlayer() { Close(); }
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Opens the file as waveform audio and starts playing it from the start,
  // completion notice to `notify_window`. 1 when it plays, -1 when the device
  // cannot be opened or cannot play (a device that opened but did not play is
  // closed at once). The error text is fetched into last_error().
  int Play(HWND notify_window, const std::string& file);

  // Closes the device if one is open.
  void Close();

  bool is_open() const { return device_ != 0; }
  const std::string& last_error() const { return last_error_; }

 private:
  void FetchError(MCIERROR error);

  MCIDEVICEID device_ = 0;
  std::string element_;
  std::string last_error_;
};

}  // namespace tidewell
