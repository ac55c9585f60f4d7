// The least a Windows program can take under Wine for the check the
// benchmark times: USER, PASS, STAT, then LIST n / TOP n 0 for every mail and
// QUIT, against the same server. It shows how much of Tidewell.exe's time is
// Wine's own.
//
//   wine_floor.exe PORT blocking   console program, blocking socket calls
//   wine_floor.exe PORT window     hidden window with a tray icon, socket
//                                  events as window messages and three posted
//                                  messages per mail, as the tray program's
//                                  session runs; the icon is removed at exit
//
// Prints the mail count; the caller times the whole process.
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr UINT kSocketMessage = WM_USER + 2;
constexpr UINT kContinueMessage = WM_USER + 3;

SOCKET g_socket = INVALID_SOCKET;
bool g_window_mode = false;
char g_chunk[8192];

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// One chunk: a blocking recv, or the next FD_READ message and its recv.
int ReadChunk() {
  if (!g_window_mode) return recv(g_socket, g_chunk, sizeof g_chunk, 0);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == kSocketMessage && WSAGETSELECTEVENT(msg.lParam) == FD_READ) {
      const int n = recv(g_socket, g_chunk, sizeof g_chunk, 0);
      if (n > 0 || WSAGetLastError() != WSAEWOULDBLOCK) return n;
    } else {
      DispatchMessageA(&msg);
    }
  }
  return -1;
}

// A whole reply: one chunk, or chunks up to the terminator of a multi-line one.
std::string Reply(bool multi_line) {
  std::string text;
  do {
    const int n = ReadChunk();
    if (n <= 0) {
      std::fprintf(stderr, "connection lost\n");
      std::exit(1);
    }
    text.append(g_chunk, static_cast<std::size_t>(n));
  } while (multi_line && text.find("\r\n.\r\n") == std::string::npos);
  return text;
}

std::string Command(const std::string& line, bool multi_line = false) {
  send(g_socket, line.data(), static_cast<int>(line.size()), 0);
  return Reply(multi_line);
}

// A posted message to the window, taken back by the message loop.
void LoopTurn(HWND hwnd) {
  PostMessageA(hwnd, kContinueMessage, 0, 0);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != kContinueMessage) DispatchMessageA(&msg);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wine_floor PORT blocking|window\n");
    return 2;
  }
  g_window_mode = std::strcmp(argv[2], "window") == 0;
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) return 1;

  HWND hwnd = nullptr;
  NOTIFYICONDATAA icon = {};
  if (g_window_mode) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "WineFloor";
    RegisterClassA(&wc);
    hwnd = CreateWindowExA(WS_EX_TOOLWINDOW, "WineFloor", "WineFloor", 0, 0, 0, 0, 0, nullptr, nullptr,
                           wc.hInstance, nullptr);
    icon.cbSize = sizeof icon;
    icon.hWnd = hwnd;
    icon.uID = 1;
    icon.uFlags = NIF_ICON | NIF_TIP;
    icon.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    std::strcpy(icon.szTip, "WineFloor");
    Shell_NotifyIconA(NIM_ADD, &icon);
  }

  g_socket = socket(AF_INET, SOCK_STREAM, 0);
  BOOL no_delay = TRUE;
  setsockopt(g_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay);
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<unsigned short>(std::atoi(argv[1])));
  to.sin_addr.s_addr = inet_addr("127.0.0.1");
  if (g_window_mode) WSAAsyncSelect(g_socket, hwnd, kSocketMessage, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);
  if (connect(g_socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    std::fprintf(stderr, "connect failed\n");
    return 1;
  }

  Reply(false);  // greeting
  Command("USER u\r\n");
  Command("PASS pw\r\n");
  int count = 0;
  std::sscanf(Command("STAT\r\n").c_str(), "%*s %d", &count);
  for (int i = 1; i <= count; ++i) {
    Command("LIST " + std::to_string(i) + "\r\n");
    Command("TOP " + std::to_string(i) + " 0\r\n", true);
    if (g_window_mode)
      for (int turn = 0; turn < 3; ++turn) LoopTurn(hwnd);
  }
  Command("QUIT\r\n");
  closesocket(g_socket);
  if (g_window_mode) {
    Shell_NotifyIconA(NIM_DELETE, &icon);
    DestroyWindow(hwnd);
  }
  WSACleanup();
  std::printf("%d\n", count);
  return 0;
}
