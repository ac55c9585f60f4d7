#include "common/atomic_file.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>  // _commit: FlushFileBuffers on the file's handle

// MoveFileExA is the one call that replaces an existing file in one step on
// Windows (the C library's rename refuses an existing target there).
extern "C" __declspec(dllimport) int __stdcall MoveFileExA(const char*, const char*, unsigned long);
extern "C" __declspec(dllimport) unsigned long __stdcall GetFileAttributesA(const char*);
extern "C" __declspec(dllimport) unsigned long __stdcall GetLastError();
#else
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace tidewell {

namespace {

// Brings the bytes of f to the disk itself, not only out of the C library's
// buffer: a rename that reaches the disk before the data would leave an empty
// or short file after a power cut.
bool FlushToDisk(std::FILE* f) {
  if (std::fflush(f) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(f)) == 0;
#else
  return fsync(fileno(f)) == 0;
#endif
}

bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  const unsigned long kReplaceExisting = 0x1, kWriteThrough = 0x8;
  return MoveFileExA(from.c_str(), to.c_str(), kReplaceExisting | kWriteThrough) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string temp = path + ".tmp~";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = ok && FlushToDisk(f);
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || !ReplaceFile(temp, path)) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

bool AtomicFileWriter::Begin(const std::string& path) {
  Discard();
  path_ = path;
  failed_ = false;
  file_ = std::fopen((path + ".tmp~").c_str(), "wb");
  return file_ != nullptr;
}

bool AtomicFileWriter::Append(std::string_view bytes) {
  if (!file_) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
  return !failed_;
}

bool AtomicFileWriter::Commit() {
  if (!file_) return false;
  const std::string temp = path_ + ".tmp~";
  bool ok = !failed_ && FlushToDisk(file_);
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (!ok || !ReplaceFile(temp, path_)) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

void AtomicFileWriter::Discard() {
  if (!file_) return;
  std::fclose(file_);
  file_ = nullptr;
  std::remove((path_ + ".tmp~").c_str());
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  out.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  // A read that fails part way (a folder opened as a file, an I/O error)
  // is no content: an empty or short text would pass for the file's.
  const bool ok = !std::ferror(f);
  std::fclose(f);
  if (!ok) out.clear();
  return ok;
}

bool FileMissing(const std::string& path) {
#ifdef _WIN32
  const unsigned long kInvalidAttributes = 0xFFFFFFFFul;
  const unsigned long kFileNotFound = 2, kPathNotFound = 3;
  if (GetFileAttributesA(path.c_str()) != kInvalidAttributes) return false;
  const unsigned long error = GetLastError();
  return error == kFileNotFound || error == kPathNotFound;
#else
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return false;
  return errno == ENOENT || errno == ENOTDIR;
#endif
}

}  // namespace tidewell
