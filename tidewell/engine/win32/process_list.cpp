#include "tidewell/engine/win32/process_list.h"

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

#include "tidewell/engine/except_list.h"

namespace tidewell {
namespace {

// A library loaded for the length of one list.
class Library {
 public:
  explicit Library(const char* name) : module_(LoadLibraryA(name)) {}
  ~Library() {
    if (module_) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  explicit operator bool() const { return module_ != nullptr; }
  template <typename Fn>
  Fn Get(const char* name) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

using GetVersionExFn = BOOL(WINAPI*)(OSVERSIONINFOA*);
using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleFileNameExFn = DWORD(WINAPI*)(HANDLE, HMODULE, char*, DWORD);
using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using Process32Fn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);

DWORD Platform() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto get_version = reinterpret_cast<GetVersionExFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetVersionExA")));
  if (!get_version) return ~0u;
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(info);  // 148 bytes
  if (!get_version(&info)) return ~0u;
  return info.dwPlatformId;
}

void ListNt(std::string& list) {
  Library psapi("PSAPI.DLL");
  if (!psapi) return;
  auto enum_processes = psapi.Get<EnumProcessesFn>("EnumProcesses");
  auto enum_modules = psapi.Get<EnumProcessModulesFn>("EnumProcessModules");
  auto module_file_name = psapi.Get<GetModuleFileNameExFn>("GetModuleFileNameExA");
  if (!enum_processes || !enum_modules || !module_file_name) return;

  // Ask with a growing buffer until the ids no longer fill it.
  std::vector<DWORD> ids(1024 / sizeof(DWORD));
  DWORD returned = 0;
  for (;;) {
    DWORD bytes = static_cast<DWORD>(ids.size() * sizeof(DWORD));
    if (!enum_processes(ids.data(), bytes, &returned)) return;
    if (returned != bytes) break;
    ids.resize(ids.size() * 2);
  }
  const std::size_t count = returned / sizeof(DWORD);
  for (std::size_t i = 0; i < count; ++i) {
    char name[MAX_PATH] = {};
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
    if (process) {
      HMODULE first = nullptr;
      DWORD needed = 0;
      if (enum_modules(process, &first, sizeof(first), &needed)) {
        if (module_file_name(process, first, name, sizeof(name)) == 0) name[0] = '\0';
      }
      CloseHandle(process);
    }
    name[sizeof(name) - 1] = '\0';
    AppendProcessName(list, name);
  }
}

void List9x(std::string& list) {
  Library kernel("kernel32.DLL");
  if (!kernel) return;
  auto create_snapshot = kernel.Get<CreateSnapshotFn>("CreateToolhelp32Snapshot");
  auto first = kernel.Get<Process32Fn>("Process32First");
  auto next = kernel.Get<Process32Fn>("Process32Next");
  if (!create_snapshot || !first || !next) return;
  HANDLE snapshot = create_snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);  // 296 bytes
  for (BOOL ok = first(snapshot, &entry); ok; ok = next(snapshot, &entry)) {
    entry.szExeFile[sizeof(entry.szExeFile) - 1] = '\0';
    AppendProcessName(list, entry.szExeFile);
  }
  CloseHandle(snapshot);
}

}  // namespace

std::string BuildProcessList() {
  std::string list;
  switch (Platform()) {
    case VER_PLATFORM_WIN32_NT:
      ListNt(list);
      break;
    case VER_PLATFORM_WIN32_WINDOWS:
      List9x(list);
      break;
    default:
      break;
  }
  return list;
}

}  // namespace tidewell
