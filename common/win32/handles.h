// Small owners for Win32 handles: each closes its handle when it goes away,
// so every return path of a handler releases what it took.
#pragma once

#include <windows.h>

#include <utility>

namespace tidewell {

// Generic owner: Traits gives the empty value and the release call.
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;
  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::Empty())) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, Traits::Empty()));
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Empty(); }
  Handle release() { return std::exchange(h_, Traits::Empty()); }
  void reset(Handle h = Traits::Empty()) {
    if (h_ != Traits::Empty()) Traits::Close(h_);
    h_ = h;
  }

 private:
  Handle h_ = Traits::Empty();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { CloseHandle(h); }
};
// CreateFileA reports failure as INVALID_HANDLE_VALUE, not as null.
struct FileTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};
struct MenuTraits {
  using Handle = HMENU;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { DestroyMenu(h); }
};
struct IconTraits {
  using Handle = HICON;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { DestroyIcon(h); }
};
struct LibraryTraits {
  using Handle = HMODULE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { FreeLibrary(h); }
};

using UniqueEvent = UniqueHandle<KernelHandleTraits>;
using UniqueFile = UniqueHandle<FileTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueLibrary = UniqueHandle<LibraryTraits>;

}  // namespace tidewell
