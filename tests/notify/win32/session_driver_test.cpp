// The Win32 session driver with real Winsock under Wine, against a server
// socket of the test itself: a hang-up (FD_CLOSE) fails the account at once,
// after the text still pending was read, instead of after the watchdog; the
// answer of a lookup that is not the pending one is ignored.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "session_driver_util.h"

namespace tidewell {
namespace {

using testing::AcceptWithin;
using testing::DriverWindow;
using testing::Listen;
using testing::PumpUntil;
using testing::Winsock;

TEST(SessionDriver, HangUpFailsTheAccountAtOnceAfterReadingWhatWasSent) {
  Winsock ws;
  ASSERT_TRUE(ws.ok);
  unsigned short port = 0;
  SOCKET server = Listen(port);
  DriverWindow w;
  ASSERT_TRUE(w.driver.Start(SessionAccount{"user", "pw", "acct", "127.0.0.1", port, false}, w.data, 0));
  SOCKET peer = AcceptWithin(server, 5000);
  ASSERT_NE(peer, INVALID_SOCKET);
  // The greeting and the hang-up together: the greeting is still read (USER
  // goes out), then the close ends the account with (3,1).
  const char greeting[] = "+OK hello\r\n";
  send(peer, greeting, sizeof greeting - 1, 0);
  closesocket(peer);
  const DWORD start = GetTickCount();
  ASSERT_TRUE(PumpUntil([&] { return w.done == 1; }, 10000)) << "the account ends without the watchdog";
  EXPECT_LT(GetTickCount() - start, 10000u);
  EXPECT_EQ(w.errors, (std::vector<std::pair<int, int>>{{3, 1}}));
  const std::string file = w.MailFile();
  EXPECT_NE(file.find("(3,1)"), std::string::npos) << file;
  closesocket(server);
}

TEST(SessionDriver, AnswerOfALookupThatIsNotThePendingOneIsIgnored) {
  Winsock ws;
  ASSERT_TRUE(ws.ok);
  DriverWindow w;
  ASSERT_TRUE(w.driver.Start(SessionAccount{"user", "pw", "acct", "localhost", 1, false}, w.data, 0));
  // An answer for some other task handle, as a cancelled lookup of an
  // earlier session can still deliver.
  PostMessageA(w.hwnd(), kWmTrayHostFound, static_cast<WPARAM>(0x7777), 0);
  PumpUntil([] { return false; }, 300);
  for (const auto& e : w.errors) EXPECT_NE(e, std::make_pair(1, 1));
  // The pending lookup still completes the session (localhost, nobody on
  // port 1: a connection failure, not the foreign-handle error).
  ASSERT_TRUE(PumpUntil([&] { return w.done == 1; }, 20000));
  ASSERT_FALSE(w.errors.empty());
  EXPECT_EQ(w.errors[0].first, 1);
  EXPECT_NE(w.errors[0], std::make_pair(1, 1));
}

}  // namespace
}  // namespace tidewell
