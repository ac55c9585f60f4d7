// Replacing a file whole without ever leaving a half-written copy: the new
// bytes go to a temporary file in the same folder, which is then renamed over
// the old one. A crash or a full disk leaves the previous file as it was.
#pragma once

#include <string>
#include <string_view>

namespace tidewell {

// Writes bytes to path atomically. Returns false (and leaves path untouched)
// when the temporary file cannot be written or the rename fails.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

// Reads a whole file. Returns false when it cannot be opened.
bool ReadWholeFile(const std::string& path, std::string& out);

// True only when the system says that nothing exists at path. A file that
// exists but cannot be read now (locked by another program, no access)
// is not missing.
bool FileMissing(const std::string& path);

}  // namespace tidewell
