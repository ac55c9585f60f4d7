// Start-up of the tray program: socket layer, single-instance test, the
// hidden main window and the message loop.
#include <winsock2.h>
#include <windows.h>

#include <string>

#include "resource.h"
#include "tidewell/engine/command_line.h"
#include "common/win32/handles.h"
#include "common/win32/own_module.h"
#include "tidewell/engine/win32/tray_window.h"

namespace {

// Calls WSACleanup for the start-up's WSAStartup when the program ends.
struct SocketLayer {
  bool ok = false;
  SocketLayer() {
    WSADATA data;
    ok = WSAStartup(MAKEWORD(1, 1), &data) == 0;
  }
  ~SocketLayer() {
    if (ok) WSACleanup();
  }
};

void ShowSocketFailure(HINSTANCE instance) {
  char text[256] = "";
  LoadStringA(instance, IDS_SOCKET_INIT_FAILED, text, sizeof text);
  MessageBoxA(nullptr, text, "", MB_OK);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  const std::string args = command_line ? command_line : "";
  // Libraries named without a folder never come from the data folder (the
  // current folder) or the PATH.
  tidewell::RestrictDllSearch();

  SocketLayer sockets;
  if (!sockets.ok) {
    ShowSocketFailure(instance);
    return 1;
  }

  const bool second_allowed = tidewell::AllowsSecondInstance(args);
  tidewell::UniqueEvent event(CreateEventA(nullptr, FALSE, FALSE, "Tidewell_Event"));
  if (!event) return 1;
  if (GetLastError() == ERROR_ALREADY_EXISTS && !second_allowed) return 0;  // another instance runs

  tidewell::TrayWindow window(instance, args);
  if (!window.Create()) return 1;

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    // Enter, Esc and Tab of the modeless list window.
    const HWND list = window.ListWindow();
    if (list && IsDialogMessageA(list, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
