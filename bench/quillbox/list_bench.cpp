// Speed of opening the mail list under Wine: 5 accounts holding 5,000 mails
// in all, then twice that. Times, best of three each:
//   rows   building the rows from the account mail files alone, through the
//          real Inkwell2.dll kept loaded for the build (as the list does);
//   open   ListShow of the real Quillbox.dll until the window is shown,
//          filled and painted.
// Then, for the first size, with mails of about 3 KB each, one run each
// (LIST_BENCH_SPLIT=1 also prints the select-all part):
//   finish    the finishing step of a delete run over every row (each
//             account mail file marked and replaced, every header appended
//             to the day file);
//   redecode  Ctrl+A in the list, then the S-JIS re-decode command (40009)
//             over every row.
//   list_bench.exe [mails [sizes]]   (default 5000 and twice that; sizes 1: only the first)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "common/win32/inkwell_dll.h"
#include "common/win32/inkwell_module.h"
#include "quillbox/delete_run.h"
#include "quillbox/mail_rows.h"

namespace {

const char* const kNames[] = {"会社", "自宅", "携帯", "仕事用", "趣味"};
const char* const kSubjects[] = {"会議の予定について", "見積書送付のお知らせ", "新年のご挨拶",
                                 "【重要】パスワード変更のお願い", "お昼ご飯 どうしますか"};
const char* const kSenders[] = {"山田太郎", "佐藤花子", "鈴木一郎", "高橋次郎", "田中三郎"};

std::string Encoded(const std::string& text, int kind) {
  std::string out;
  if (kind == 0) {
    tidewell::InkwellBase64(text, 2, out);
    return "=?ISO-2022-JP?B?" + out + "?=";
  }
  if (kind == 1) {
    tidewell::InkwellQuoted(text, 2, out);
    return "=?iso-2022-jp?Q?" + out + "?=";
  }
  std::string utf8;
  tidewell::InkwellCodeConv(text, 61, utf8);
  tidewell::InkwellBase64(utf8, 1, out);
  return "=?UTF-8?B?" + out + "?=";
}

// Mails of one account; pad adds that many Received lines (about 100 bytes each).
std::string MailFile(int account, int n, int pad = 0) {
  std::string file;
  std::string hops;
  for (int h = 0; h < pad; ++h)
    hops += "Received: from relay" + std::to_string(h) +
            ".example.jp (relay.example.jp [192.0.2.1]) by mx.example.jp; Tue, 2 Jan 2024 09:15:00 +0900\r\n";
  for (int i = 1; i <= n; ++i) {
    const int k = (account + i) % 5;
    file += "+OK " + std::to_string(i) + " " + std::to_string(1000 + 37 * i) + "\r\n+OK\r\n"
            "Return-Path: <sender" + std::to_string(k) + "@example.jp>\r\n" + hops +
            "Received: from mx.example.jp by pop.example.jp; Tue, 2 Jan 2024 09:15:00 +0900\r\n"
            "Subject: " + Encoded(kSubjects[k], i % 3) + "\r\n"
            "From: " + Encoded(kSenders[k], 0) + " <sender" + std::to_string(k) + "@example.jp>\r\n"
            "Date: Tue, " + std::to_string(1 + i % 28) + " Jan 2024 09:15:00 +0900\r\n"
            "Message-ID: <" + std::to_string(i) + "." + std::to_string(account) + "@example.jp>\r\n"
            "X-UIDL: " + std::to_string(account) + "-" + std::to_string(i) + "\r\n"
            "Status: RO\r\nMIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n.\r\n";
  }
  return file;
}

// Account.dat, version 5, with the five accounts (login fields only).
std::string AccountFile() {
  std::string out = "Tidewellv";
  out += static_cast<char>(5);
  out += static_cast<char>(5);
  const auto t1 = [&](const std::string& s) { out += static_cast<char>(s.size()); out += s; };
  const auto t2 = [&](const std::string& s) {
    out += static_cast<char>(s.size() >> 8);
    out += static_cast<char>(s.size() & 0xFF);
    out += s;
  };
  for (const char* name : kNames) {
    t1(name);
    t1("user");
    t1("p");
    t2("127.0.0.1");
    out += '\0';
    out += '\0';
    out += static_cast<char>(110);
    out += std::string("\0\0\0", 3);
    t2("");
    out += std::string("\0\0\0", 3);
    t2("");
    out += std::string("\0\0", 2);
    t2("");
    t2("");
    t2("");
  }
  return out;
}

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

class Codec : public tidewell::ListCodec {
 public:
  explicit Codec(const std::string& path) : dll_(path) {}
  bool CodeConv(const std::string& s, int c, std::string& o) override { return dll_.CodeConv(s, c, o); }
  bool Base64Coding(const std::string& s, int op, std::string& o) override { return dll_.Base64Coding(s, op, o); }
  bool QuotedCoding(const std::string& s, int op, std::string& o) override { return dll_.QuotedCoding(s, op, o); }
  std::string Md5Hex(const std::string& t) override { return dll_.Md5(t); }

 private:
  tidewell::InkwellModule dll_;
};

std::string ExeFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string p(path);
  return p.substr(0, p.find_last_of('\\'));
}

void Prepare(const std::string& folder, int mails, int pad = 0) {
  for (int a = 0; a < 5; ++a)
    tidewell::WriteFileAtomically(folder + "\\Mail\\" + tidewell::InkwellMd5(kNames[a]),
                                  MailFile(a, mails / 5, pad));
}

// The finishing step of a run that deleted every row.
double Finish(const std::string& folder, int mails) {
  Prepare(folder, mails, 24);
  const std::string day = folder + "\\Del\\Del20991231";
  DeleteFileA(day.c_str());
  Codec codec(ExeFolder() + "\\Inkwell2.dll");
  const std::vector<std::string> names(std::begin(kNames), std::end(kNames));
  const std::vector<tidewell::MailRow> rows = tidewell::BuildAllRows(codec, folder, names);
  std::vector<tidewell::AccountResult> accounts;
  for (const std::string& name : names) accounts.push_back(tidewell::AccountResult{name, 0});
  tidewell::DiskDeleteFiles files;
  const double t0 = Now();
  const tidewell::DeleteFinish done =
      tidewell::FinishDeleteRun(codec, files, folder, rows, accounts, true, "20991231");
  const double t = Now() - t0;
  if (done.marked != mails) std::printf("unexpected: %d marked\n", done.marked);
  return t;
}

double Rows(const std::string& folder, int mails) {
  const double t0 = Now();
  Codec codec(ExeFolder() + "\\Inkwell2.dll");
  const std::vector<tidewell::MailRow> rows =
      tidewell::BuildAllRows(codec, folder, std::vector<std::string>(std::begin(kNames), std::end(kNames)));
  const double t = Now() - t0;
  if (static_cast<int>(rows.size()) != mails) std::printf("unexpected: %zu rows\n", rows.size());
  return t;
}

int g_closed = 0;
LRESULT CALLBACK OwnerProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER + 100) {
    ++g_closed;
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}

double Open(HWND owner, const std::string& folder, int mails) {
  using ListShowFn = HWND(WINAPI*)(HWND, int, char*);
  HMODULE library = LoadLibraryA("Quillbox.dll");
  auto list_show = reinterpret_cast<ListShowFn>(reinterpret_cast<void*>(GetProcAddress(library, "ListShow")));
  std::string buffer = folder;
  buffer.resize(260, '\0');
  const double t0 = Now();
  HWND list = list_show(owner, 5, buffer.data());
  UpdateWindow(list);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  const double t = Now() - t0;
  const int count = static_cast<int>(SendMessageA(GetDlgItem(list, 1001), LVM_GETITEMCOUNT, 0, 0));
  if (count != mails) std::printf("unexpected: %d rows in the list\n", count);
  DestroyWindow(list);
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  FreeLibrary(library);
  return t;
}

// Ctrl+A, then the S-JIS re-decode over every row of the open list.
double Redecode(HWND owner, const std::string& folder, int mails) {
  Prepare(folder, mails, 24);
  using ListShowFn = HWND(WINAPI*)(HWND, int, char*);
  HMODULE library = LoadLibraryA("Quillbox.dll");
  auto list_show = reinterpret_cast<ListShowFn>(reinterpret_cast<void*>(GetProcAddress(library, "ListShow")));
  std::string buffer = folder;
  buffer.resize(260, '\0');
  HWND list = list_show(owner, 5, buffer.data());
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  const double t0 = Now();
  SendMessageA(list, WM_COMMAND, 40038, 0);  // Ctrl+A
  if (std::getenv("LIST_BENCH_SPLIT")) std::printf("  select all %.3f s\n", Now() - t0);
  SendMessageA(list, WM_COMMAND, 40009, 0);  // S-JIS
  UpdateWindow(list);
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  const double t = Now() - t0;
  const HWND view = GetDlgItem(list, 1001);
  const int selected = static_cast<int>(SendMessageA(view, LVM_GETSELECTEDCOUNT, 0, 0));
  if (selected != mails) std::printf("unexpected: %d rows selected\n", selected);
  DestroyWindow(list);
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  FreeLibrary(library);
  return t;
}

template <typename F>
double Best(F f) {
  double best = f();
  for (int i = 0; i < 2; ++i) {
    const double t = f();
    if (t < best) best = t;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (!tidewell::InkwellAvailable()) {
    std::printf("Inkwell2.dll not found beside the benchmark\n");
    return 1;
  }
  const int base = argc > 1 ? std::atoi(argv[1]) : 5000;
  const int sizes = argc > 2 ? std::atoi(argv[2]) : 2;
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string folder = std::string(temp) + "tidewell_list_bench";
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "\\Mail").c_str(), nullptr);
  CreateDirectoryA((folder + "\\Del").c_str(), nullptr);
  tidewell::WriteFileAtomically(folder + "\\Account.dat", AccountFile());
  WNDCLASSA wc{};
  wc.lpfnWndProc = OwnerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "ListBenchOwner";
  RegisterClassA(&wc);
  HWND owner = CreateWindowExA(WS_EX_TOOLWINDOW, "ListBenchOwner", "owner", 0, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);

  double rows[2], open[2];
  for (int i = 0; i < sizes; ++i) {
    const int mails = base * (i + 1);
    Prepare(folder, mails);
    Rows(folder, mails);  // warm-up
    rows[i] = Best([&] { return Rows(folder, mails); });
    open[i] = Best([&] { return Open(owner, folder, mails); });
    std::printf("%d mails: rows %.3f s, list shown and filled %.3f s\n", mails, rows[i], open[i]);
  }
  const double finish = Finish(folder, base);
  const double redecode = Redecode(owner, folder, base);
  std::printf("%d rows of about 3 KB over 5 accounts: finishing step %.3f s, Ctrl+A and S-JIS re-decode %.3f s\n",
              base, finish, redecode);
  if (sizes < 2) return 0;
  std::printf("rows ratio %.2f, open ratio %.2f (limit 2.2); %d mails %s a second\n", rows[1] / rows[0],
              open[1] / open[0], base, open[0] < 1.0 ? "under" : "OVER");
  return 0;
}
