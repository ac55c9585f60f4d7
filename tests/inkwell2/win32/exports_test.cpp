// Inkwell2.dll through the real calling convention: loaded by its plain file
// name, every export bound by name with GetProcAddress, as the other
// deliverables do.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using CodeConvFn = int(WINAPI*)(const char*, char*, int);
using CodingFn = int(WINAPI*)(const char*, char*, const char*, int);
using ToCrLfFn = int(WINAPI*)(const char*, char*);
using FilePutFn = int(WINAPI*)(const char*, const char*);
using SourceSplitFn = int(WINAPI*)(const char*, char*, const char*, int, int);
using GetHeaderFn = int(WINAPI*)(const char*, const char*, char*, int);
using GetMailMessageFn = int(WINAPI*)(const char*, const char*, char*, int);
using Md5CalcFn = int(WINAPI*)(const char*, char*);
using GetAccountFn = int(WINAPI*)(char*, const char*, char*, char*, char*, int*, int*, int);
using IntFn = int(WINAPI*)();
using GetAccountTlsFn = int(WINAPI*)(const char*, const char*);
using GetAccountOAuthFn = int(WINAPI*)(const char*, const char*, char*, int);

constexpr char kFill = '\xCC';

std::string ExeFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\'));
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD done = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  CloseHandle(h);
}

std::string ReadBytes(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string s(GetFileSize(h, nullptr), '\0');
  DWORD done = 0;
  ReadFile(h, s.data(), static_cast<DWORD>(s.size()), &done, nullptr);
  CloseHandle(h);
  return s;
}

class Inkwell : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = LoadLibraryA("Inkwell2.dll");
    ASSERT_NE(lib_, nullptr) << "Inkwell2.dll beside the test program";
    Bind(code_conv_, "Code_Conv");
    Bind(base64_, "Base64_Coding");
    Bind(quoted_, "Quoted_Coding");
    Bind(to_crlf_, "ToCrLf");
    Bind(file_put_, "FilePut");
    Bind(source_split_, "Source_Split");
    Bind(get_header_, "GetHeader");
    Bind(get_mail_, "GetMailMessage");
    Bind(md5_, "MD5Calc");
    Bind(get_account_, "GetAccount");
    Bind(get_account_tls_, "GetAccountTls");
    Bind(get_account_oauth_, "GetAccountOAuth");
    Bind(getversion_, "getversion");
    Bind(fn_inkwell_, "fnInkwell");
    n_inkwell_ = reinterpret_cast<int*>(GetProcAddress(lib_, "nInkwell"));
    ASSERT_NE(n_inkwell_, nullptr);

    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    folder_ = std::string(tmp) + "inkwell2_test_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder_.c_str(), nullptr);
    CreateDirectoryA((folder_ + "\\Mail").c_str(), nullptr);
  }
  void TearDown() override {
    for (const std::string& f : cleanup_) DeleteFileA(f.c_str());
    RemoveDirectoryA((folder_ + "\\Mail").c_str());
    RemoveDirectoryA(folder_.c_str());
    if (lib_) FreeLibrary(lib_);
  }
  template <typename F>
  void Bind(F& fn, const char* name) {
    fn = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(lib_, name)));
    ASSERT_NE(fn, nullptr) << name;
  }
  std::string Md5(const std::string& text) {
    char out[33];
    md5_(text.c_str(), out);
    return std::string(out, 32);
  }
  std::string Temp(const std::string& name) {
    cleanup_.push_back(folder_ + "\\" + name);
    return cleanup_.back();
  }

  HMODULE lib_ = nullptr;
  CodeConvFn code_conv_ = nullptr;
  CodingFn base64_ = nullptr, quoted_ = nullptr;
  ToCrLfFn to_crlf_ = nullptr;
  FilePutFn file_put_ = nullptr;
  SourceSplitFn source_split_ = nullptr;
  GetHeaderFn get_header_ = nullptr;
  GetMailMessageFn get_mail_ = nullptr;
  Md5CalcFn md5_ = nullptr;
  GetAccountFn get_account_ = nullptr;
  GetAccountTlsFn get_account_tls_ = nullptr;
  GetAccountOAuthFn get_account_oauth_ = nullptr;
  IntFn getversion_ = nullptr, fn_inkwell_ = nullptr;
  int* n_inkwell_ = nullptr;
  std::string folder_;
  std::vector<std::string> cleanup_;
};

TEST_F(Inkwell, CodeConvThroughThePlatformCodePages) {
  std::vector<char> dst(64, kFill);
  EXPECT_EQ(code_conv_("\x1b$B0!\x1b(B", dst.data(), 2), 2);
  EXPECT_STREQ(dst.data(), "\x88\x9f");
  EXPECT_EQ(dst[3], kFill);  // nothing past the NUL

  // UTF-8 through MultiByteToWideChar / WideCharToMultiByte with code page 932.
  std::fill(dst.begin(), dst.end(), kFill);
  EXPECT_EQ(code_conv_("\xe4\xba\x9c\xe3\x81\x82x", dst.data(), 6), 6);
  EXPECT_STREQ(dst.data(), "\x88\x9f\x82\xa0x");

  EXPECT_EQ(code_conv_("+TpwwQg-", dst.data(), 5), 5);
  EXPECT_STREQ(dst.data(), "\x88\x9f\x82\xa0");

  // UTF-16 in: up to the zero unit, so U+3000 (low byte 0) does not end it.
  const char utf16[] = {'\x9c', '\x4e', '\x00', '\x30', 'a', '\x00', '\x00', '\x00'};
  EXPECT_EQ(code_conv_(utf16, dst.data(), 7), 6);  // five bytes and the terminator
  EXPECT_STREQ(dst.data(), "\x88\x9f\x81\x40" "a");

  // UTF-16 out ends with a zero unit.
  std::fill(dst.begin(), dst.end(), kFill);
  EXPECT_EQ(code_conv_("\x88\x9f" "a", dst.data(), 71), 3);
  EXPECT_EQ(std::string(dst.data(), 6), std::string("\x9c\x4e" "a\0\0\0", 6));
  EXPECT_EQ(dst[6], kFill);

  EXPECT_EQ(code_conv_("\x88\x9f", dst.data(), 61), 4);
  EXPECT_STREQ(dst.data(), "\xe4\xba\x9c");

  EXPECT_EQ(code_conv_("abc", dst.data(), 8), 0);
  EXPECT_STREQ(dst.data(), "");
}

TEST_F(Inkwell, CodersAndLineEnds) {
  std::vector<char> dst(64, kFill);
  EXPECT_EQ(base64_("YWJj", dst.data(), nullptr, 11), 3);
  EXPECT_STREQ(dst.data(), "abc");
  EXPECT_EQ(base64_("GyRCMCEbKEI=", dst.data(), nullptr, 12), 2);
  EXPECT_STREQ(dst.data(), "\x88\x9f");
  EXPECT_EQ(base64_("abc", dst.data(), nullptr, 1), 4);
  EXPECT_STREQ(dst.data(), "YWJj");
  EXPECT_EQ(quoted_("=1B$B0!=1B(B", dst.data(), nullptr, 12), 2);
  EXPECT_STREQ(dst.data(), "\x88\x9f");
  EXPECT_EQ(quoted_("a=b", dst.data(), nullptr, 1), 5);
  EXPECT_STREQ(dst.data(), "a=3Db");
  // Op 11 counts every decoded byte, a zero byte and what follows it included.
  EXPECT_EQ(quoted_("a=00bc", dst.data(), nullptr, 11), 4);
  EXPECT_STREQ(dst.data(), "a");

  EXPECT_EQ(to_crlf_("a\nb", dst.data()), 4);
  EXPECT_STREQ(dst.data(), "a\r\nb");
  std::strcpy(dst.data(), "kept");
  EXPECT_EQ(to_crlf_("", dst.data()), -1);
  EXPECT_STREQ(dst.data(), "kept");
}

TEST_F(Inkwell, FilesWrittenByFilePutAndQuotedOp13) {
  const std::string path = Temp("put.txt");
  EXPECT_EQ(file_put_("hello\r\n", path.c_str()), 1);
  EXPECT_EQ(ReadBytes(path), "hello\r\n");

  const std::string out = Temp("qp.bin");
  std::vector<char> dst(512, kFill);
  EXPECT_EQ(quoted_("a=00b", dst.data(), out.c_str(), 13), static_cast<int>(out.size()));
  EXPECT_EQ(std::string(dst.data()), out);
  EXPECT_EQ(ReadBytes(out), std::string("a\0b", 3));

  EXPECT_EQ(file_put_("x", (folder_ + "\\no\\such\\x").c_str()), 0);
}

TEST_F(Inkwell, HeaderAndSplit) {
  const char* mail = "+OK\r\nSubject: =?a?=\r\n =?b?=\r\nTo: x\r\n\r\nbody text that is long enough\r\n";
  std::vector<char> dst(64, kFill);
  EXPECT_EQ(get_header_(mail, "subject", dst.data(), 1023), 1);
  EXPECT_STREQ(dst.data(), "=?a?==?b?=");
  std::fill(dst.begin(), dst.end(), kFill);
  get_header_(mail, "subject", dst.data(), 4);
  EXPECT_EQ(std::string(dst.data(), 4), "=?a?");
  EXPECT_EQ(dst[4], kFill);  // max bytes at most: a buffer of max bytes is safe
  std::fill(dst.begin(), dst.end(), kFill);
  get_header_(mail, "to", dst.data(), 4);
  EXPECT_EQ(std::string(dst.data(), 2), std::string("x\0", 2));  // shorter than max: terminated
  std::fill(dst.begin(), dst.end(), kFill);
  get_header_(mail, "cc", dst.data(), 4);
  EXPECT_EQ(dst[0], '\0');
  EXPECT_EQ(dst[1], kFill);

  EXPECT_EQ(source_split_(mail, dst.data(), nullptr, 1, 2), 999);
  EXPECT_STREQ(dst.data(), "body text that is long enough\r\n");
  std::strcpy(dst.data(), "kept");
  EXPECT_EQ(source_split_("short", dst.data(), "b", 0, 1), -1);
  EXPECT_STREQ(dst.data(), "kept");
}

TEST_F(Inkwell, Md5AndVersion) {
  std::vector<char> out(40, kFill);
  EXPECT_EQ(md5_("abc", out.data()), 32);
  EXPECT_EQ(std::string(out.data()), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(out[33], kFill);
  EXPECT_EQ(getversion_(), 100);
  EXPECT_EQ(fn_inkwell_(), 42);
  EXPECT_EQ(*n_inkwell_, 0);
}

TEST_F(Inkwell, GetMailMessageReadsTheAccountMailFile) {
  const std::string body(1234, 'm');
  WriteBytes(Temp("Mail\\" + Md5("acct")), body);
  EXPECT_EQ(get_mail_("acct", folder_.c_str(), nullptr, 0), 1234);
  std::vector<char> buf(1235, '\0');
  EXPECT_EQ(get_mail_("acct", folder_.c_str(), buf.data(), 1235), 1234);
  EXPECT_EQ(std::string(buf.data()), body);
  std::vector<char> small(11, kFill);
  EXPECT_EQ(get_mail_("acct", folder_.c_str(), small.data(), 10), 10);
  EXPECT_EQ(small[10], kFill);

  // Missing file: 0, and the buffer is cleared.
  std::vector<char> cleared(16, kFill);
  EXPECT_EQ(get_mail_("nobody", folder_.c_str(), cleared.data(), 16), 0);
  EXPECT_EQ(std::string(cleared.data(), 16), std::string(16, '\0'));

  // A file held open without sharing cannot be read.
  HANDLE h = CreateFileA((folder_ + "\\Mail\\" + Md5("acct")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(get_mail_("acct", folder_.c_str(), nullptr, 0), 0);
  CloseHandle(h);
}

TEST_F(Inkwell, GetMailMessageFallsBackToTheLibraryFolder) {
  const std::string own = ExeFolder();
  CreateDirectoryA((own + "\\Mail").c_str(), nullptr);
  const std::string file = own + "\\Mail\\" + Md5("own-folder-key");
  WriteBytes(file, "own");
  EXPECT_EQ(get_mail_("own-folder-key", nullptr, nullptr, 0), 3);
  EXPECT_EQ(get_mail_("own-folder-key", "", nullptr, 0), 3);
  // A folder argument naming a file is not a folder.
  const std::string plain = Temp("plain.txt");
  WriteBytes(plain, "x");
  EXPECT_EQ(get_mail_("own-folder-key", plain.c_str(), nullptr, 0), 3);
  DeleteFileA(file.c_str());
  RemoveDirectoryA((own + "\\Mail").c_str());
}

std::string Record(const std::string& name, const std::string& user, const std::string& plain_password,
                   const std::string& server, int apop, int port) {
  std::string r;
  r += static_cast<char>(name.size()) + name;
  r += static_cast<char>(user.size()) + user;
  r += static_cast<char>(plain_password.size());
  for (std::size_t i = 0; i < plain_password.size(); ++i) r += static_cast<char>(plain_password[i] + i);
  r += std::string{static_cast<char>(server.size() >> 8), static_cast<char>(server.size())} + server;
  r += static_cast<char>(apop);
  r += std::string{static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)};
  r += std::string(3, '\0') + std::string(2, '\0') + std::string(3, '\0') + std::string(2, '\0');
  r += std::string(2, '\0');  // fields 11 and 12
  r += std::string(6, '\0');  // fields 13 to 15, empty
  return r;
}

std::string AccountFile(const std::string& records, int count) {
  return std::string("Tidewellv\x05", 10) + static_cast<char>(count) + records;
}

TEST_F(Inkwell, GetAccountLooksUpAndEnumerates) {
  WriteBytes(Temp("Account.dat"),
             AccountFile(Record("home", "bob", "secret", "pop.example.jp", 1, 995) +
                             Record("work", "alice", "pw", "mail.example.jp", 0, 110),
                         2));
  char name[150] = "work", user[150] = {}, password[150] = {}, server[1000] = {};
  int apop = -1, port = -1;
  EXPECT_EQ(get_account_(name, folder_.c_str(), user, password, server, &apop, &port, -1), 0);
  EXPECT_STREQ(user, "alice");
  EXPECT_STREQ(password, "pw");
  EXPECT_STREQ(server, "mail.example.jp");
  EXPECT_EQ(apop, 0);
  EXPECT_EQ(port, 110);

  const char* expected[] = {"home", "work"};
  for (int i = 1; i <= 2; ++i) {
    char enumerated[150] = {};
    get_account_(enumerated, folder_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, i);
    EXPECT_STREQ(enumerated, expected[i - 1]);
  }
  char past[150] = {};
  get_account_(past, folder_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, 3);
  EXPECT_STREQ(past, "");

  char unknown[150] = "nobody";
  char untouched[150] = {};
  int keep = 7;
  get_account_(unknown, folder_.c_str(), untouched, untouched, untouched, &keep, &keep, -1);
  EXPECT_STREQ(untouched, "");
  EXPECT_EQ(keep, 7);
}

// Version 6 (one security byte after each record): GetAccount reads past it
// to the next record, and GetAccountTls tells the mode; older files give no
// TLS, or TLS on connect for port 995.
TEST_F(Inkwell, GetAccountReadsVersion6AndGetAccountTlsTellsTheMode) {
  const std::string v6 = std::string("Tidewellv\x06\x03", 11) +
                         Record("plain", "p", "x", "a.example.jp", 0, 110) + std::string(1, '\0') +
                         Record("stls", "s", "y", "b.example.jp", 0, 110) + std::string(1, '\1') +
                         Record("pop3s", "t", "z", "c.example.jp", 1, 995) + std::string(1, '\2');
  WriteBytes(Temp("Account.dat"), v6);
  char name[150] = "pop3s", user[150] = {}, password[150] = {}, server[1000] = {};
  int apop = -1, port = -1;
  EXPECT_EQ(get_account_(name, folder_.c_str(), user, password, server, &apop, &port, -1), 0);
  EXPECT_STREQ(user, "t");
  EXPECT_STREQ(password, "z");
  EXPECT_STREQ(server, "c.example.jp");
  EXPECT_EQ(port, 995);
  char third[150] = {};
  get_account_(third, folder_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, 3);
  EXPECT_STREQ(third, "pop3s");
  EXPECT_EQ(get_account_tls_("plain", folder_.c_str()), 0);
  EXPECT_EQ(get_account_tls_("stls", folder_.c_str()), 1);
  EXPECT_EQ(get_account_tls_("pop3s", folder_.c_str()), 2);
  EXPECT_EQ(get_account_tls_("nobody", folder_.c_str()), -1);
  EXPECT_EQ(get_account_tls_(nullptr, folder_.c_str()), -1);

  WriteBytes(Temp("Account.dat"), AccountFile(Record("home", "bob", "secret", "pop.example.jp", 1, 995) +
                                                  Record("work", "alice", "pw", "mail.example.jp", 0, 110),
                                              2));
  EXPECT_EQ(get_account_tls_("home", folder_.c_str()), 2);
  EXPECT_EQ(get_account_tls_("work", folder_.c_str()), 0);
}

// Version 8: after the security byte, the password form and sealed bytes
// (here form 0, none), then the sign-in method, the provider, who signed in,
// the refresh-token form and the refresh token (form 0: scrambled like the
// password).
std::string SignIn(int method, int provider, const std::string& token, int token_form = 0) {
  std::string r = std::string(1, '\2') + std::string(3, '\0');  // TLS on connect, password form 0, none
  r += static_cast<char>(method);
  r += static_cast<char>(provider);
  r += std::string(1, '\4') + "Taro";
  r += static_cast<char>(token_form);
  r += std::string{static_cast<char>(token.size() >> 8), static_cast<char>(token.size() & 0xFF)};
  for (std::size_t i = 0; i < token.size(); ++i) r += static_cast<char>(token[i] + i);
  return r;
}

TEST_F(Inkwell, GetAccountOAuthTellsTheSignInAndGivesTheRefreshToken) {
  const std::string token = "1//0g-refresh";
  const std::string v8 = std::string("Tidewellv\x08\x06", 11) +
                         Record("password", "p", "x", "a.example.jp", 1, 995) + SignIn(0, 0, "") +
                         Record("google", "taro@example.jp", "", "pop.gmail.com", 0, 995) + SignIn(1, 2, token) +
                         Record("microsoft", "m", "", "outlook.office365.com", 0, 995) + SignIn(1, 1, "") +
                         Record("unknown method", "u", "", "c", 0, 995) + SignIn(9, 3, token) +
                         Record("unknown provider", "u", "", "c", 0, 995) + SignIn(1, 7, token) +
                         Record("unknown form", "u", "", "c", 0, 995) + SignIn(1, 3, token, 5);
  WriteBytes(Temp("Account.dat"), v8);
  struct Case {
    const char* name;
    int size;
    int result;
    std::string token;
  };
  const Case cases[] = {
      {"password", 100, 0, ""},
      {"google", 100, 2, token},
      {"google", static_cast<int>(token.size()) + 1, 2, token},  // just fits with its NUL
      {"google", static_cast<int>(token.size()), 2, ""},         // does not fit: nothing of it
      {"microsoft", 100, 1, ""},                                 // signed out
      {"unknown method", 100, 3, token},                         // OAuth, never the password
      {"unknown provider", 100, 4, token},
      {"unknown form", 100, 3, ""},
      {"nobody", 100, -1, ""},
  };
  for (const Case& c : cases) {
    std::vector<char> buffer(200, kFill);
    EXPECT_EQ(get_account_oauth_(c.name, folder_.c_str(), buffer.data(), c.size), c.result) << c.name;
    EXPECT_EQ(std::string(buffer.data()), c.token) << c.name << " " << c.size;
    EXPECT_EQ(buffer[static_cast<std::size_t>(c.size)], kFill) << c.name;  // nothing past the size
  }
  EXPECT_EQ(get_account_oauth_("google", folder_.c_str(), nullptr, 0), 2);
  EXPECT_EQ(get_account_oauth_(nullptr, folder_.c_str(), nullptr, 0), -1);
  // GetAccount and GetAccountTls read version 8 past the new fields.
  char name[150] = "password", user[150] = {}, password[150] = {}, server[1000] = {};
  int apop = -1, port = -1;
  EXPECT_EQ(get_account_(name, folder_.c_str(), user, password, server, &apop, &port, -1), 0);
  EXPECT_STREQ(password, "x");
  EXPECT_EQ(apop, 1);
  char sixth[150] = {};
  get_account_(sixth, folder_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, 6);
  EXPECT_STREQ(sixth, "unknown form");
  char google[150] = "google";
  std::memset(user, 0, sizeof user);
  EXPECT_EQ(get_account_(google, folder_.c_str(), user, password, server, &apop, &port, -1), 0);
  EXPECT_STREQ(user, "taro@example.jp");
  EXPECT_EQ(get_account_tls_("microsoft", folder_.c_str()), 2);
  // An older file: every account signs in with its password.
  WriteBytes(Temp("Account.dat"), AccountFile(Record("home", "bob", "secret", "pop.example.jp", 1, 995), 1));
  EXPECT_EQ(get_account_oauth_("home", folder_.c_str(), nullptr, 0), 0);
}

TEST_F(Inkwell, GetAccountFallsBackToTheLibraryFolder) {
  const std::string own = ExeFolder() + "\\Account.dat";
  WriteBytes(own, AccountFile(Record("library", "lib", "x", "own.example.jp", 0, 110), 1));
  WriteBytes(Temp("Account.dat"), AccountFile(Record("data", "dat", "x", "data.example.jp", 0, 110), 1));

  auto first_name = [&](const char* folder) {
    char name[150] = {};
    get_account_(name, folder, nullptr, nullptr, nullptr, nullptr, nullptr, 1);
    return std::string(name);
  };
  EXPECT_EQ(first_name(folder_.c_str()), "data");
  EXPECT_EQ(first_name(nullptr), "library");
  EXPECT_EQ(first_name(""), "library");
  EXPECT_EQ(first_name((folder_ + "\\Account.dat").c_str()), "library");  // a file, not a folder
  EXPECT_EQ(first_name((folder_ + "\\missing").c_str()), "library");
  // A folder with more attributes than the directory bit alone is not taken.
  SetFileAttributesA(folder_.c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
  const DWORD attrs = GetFileAttributesA(folder_.c_str());
  if (attrs == (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
    EXPECT_EQ(first_name(folder_.c_str()), "library");
  }
  SetFileAttributesA(folder_.c_str(), FILE_ATTRIBUTE_DIRECTORY);
  DeleteFileA(own.c_str());

  // No Account.dat anywhere: 0, nothing written.
  char name[150] = "x";
  EXPECT_EQ(get_account_(name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1), 0);
  EXPECT_STREQ(name, "x");
}

}  // namespace
