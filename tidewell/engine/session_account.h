// What the check session of one account is given of its CAccount.
#pragma once

#include "common/oauth/token_fetch.h"
#include "tidewell/engine/pop3_session.h"
#include "tidewell/settings/account.h"

namespace tidewell {

// The login fields, the security mode (one this build does not know is taken
// as TLS on connect: never clear text) and whether the password could not be
// read from the file (the session then ends with its error entry at once).
// An account of any sign-in method but the password is an OAuth account (a
// method this build does not know never gets the password sent); its
// password and APOP flag play no part. The access token is the driver's to
// fill in.
SessionAccount ToSessionAccount(const CAccount& a);

// What the driver needs to get the access token of an OAuth account.
oauth::OAuthAccount ToOAuthAccount(const CAccount& a);

}  // namespace tidewell
