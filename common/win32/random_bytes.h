// Random bytes from the system's generator, for the OAuth state and the PKCE
// verifier (never from rand()).
#pragma once

#include <cstddef>
#include <string>

namespace tidewell {

// `out` gets `n` bytes of BCryptGenRandom (the system-preferred generator).
// False (and `out` empty) when the system gave none.
bool RandomBytes(std::size_t n, std::string& out);

}  // namespace tidewell
