// What the check session of one account is given of its CAccount.
#pragma once

#include "tidewell/engine/pop3_session.h"
#include "tidewell/settings/account.h"

namespace tidewell {

// The login fields, the security mode (one this build does not know is taken
// as TLS on connect: never clear text) and whether the password could not be
// read from the file (the session then ends with its error entry at once).
SessionAccount ToSessionAccount(const CAccount& a);

}  // namespace tidewell
