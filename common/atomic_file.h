// Replacing a file whole without ever leaving a half-written copy: the new
// bytes go to a temporary file in the same folder, which is then renamed over
// the old one. A crash or a full disk leaves the previous file as it was. The
// temporary file is flushed to the disk before the rename, so that a power
// cut leaves either the old file or the whole new one, never an empty one.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tidewell {

// Writes bytes to path atomically. Returns false (and leaves path untouched)
// when the temporary file cannot be written or the rename fails.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

// A file written piece by piece that appears under its name only once it is
// complete: the pieces go to a temporary file beside it, Commit renames that
// over the target, Discard (or destruction without Commit) removes it.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter() { Discard(); }
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Starts a new file for path (a file begun before is discarded).
  bool Begin(const std::string& path);
  bool Append(std::string_view bytes);
  // Flushes, closes and renames over path; false (nothing replaced) when any
  // write failed.
  bool Commit();
  void Discard();
  bool open() const { return file_ != nullptr; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  bool failed_ = false;
};

// Reads a whole file. Returns false (out empty) when it cannot be opened or
// read to its end.
bool ReadWholeFile(const std::string& path, std::string& out);

// True only when the system says that nothing exists at path. A file that
// exists but cannot be read now (locked by another program, no access)
// is not missing.
bool FileMissing(const std::string& path);

}  // namespace tidewell
