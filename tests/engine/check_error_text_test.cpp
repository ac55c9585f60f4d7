// The connection test of the account dialog reports failures with the texts a
// check records: the settings side keeps its own copy (it may not include the
// engine), so both are compared here for every phase and code in use.
#include <gtest/gtest.h>

#include <string>

#include "tidewell/engine/pop3_session.h"
#include "tidewell/settings/connection_probe.h"

namespace tidewell {
namespace {

TEST(CheckErrorText, ConnectionTestAndCheckAgree) {
  for (int phase = 0; phase <= 5; ++phase) {
    for (int code = 0; code <= 8; ++code) {
      EXPECT_EQ("*ERR\r\n" + CheckErrorMessage(phase, code) + "\r\n.\r\n", ErrorEntry(phase, code))
          << phase << "," << code;
    }
  }
  // The numbers the connection test uses are the check's.
  EXPECT_EQ(probe_error::kTlsPhase, kTlsErrorPhase);
  EXPECT_EQ(probe_error::kTlsInjected, kTlsInjectedText);
  EXPECT_EQ(probe_error::kStlsRefused, kStlsRefusedCode);
  EXPECT_EQ(probe_error::kTooLarge, kReplyTooLargeCode);
  EXPECT_EQ(probe_error::kSessionPhase, kReplyTooLargePhase);
}

}  // namespace
}  // namespace tidewell
