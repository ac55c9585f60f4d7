#include "tidewell/settings/sheet_rules.h"

#include <climits>
#include <cstdio>

#include "common/sjis.h"

namespace tidewell {

bool EngineReloadsAfterSheet(const SheetFlags& f) {
  if (f.message_applied != 1) return false;
  return f.message_changed == 1 || f.account_changed == 1 || f.receive_changed == 1 || f.click_changed == 1;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Digits only, into value; false when there are none, another character
// comes, or the value grows past limit.
bool ParseDigits(std::string_view digits, unsigned long long limit, unsigned long long& value) {
  if (digits.empty()) return false;
  value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > limit) return false;
  }
  return true;
}

}  // namespace

bool ParseIntText(std::string_view text, int& out) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const unsigned long long limit = negative ? static_cast<unsigned long long>(INT_MAX) + 1 : INT_MAX;
  unsigned long long value = 0;
  if (!ParseDigits(text, limit, value)) return false;
  out = negative ? static_cast<int>(-static_cast<long long>(value)) : static_cast<int>(value);
  return true;
}

NumberCheck ParseUnsignedText(std::string_view text, unsigned max, unsigned& out) {
  text = Trim(text);
  if (text.empty()) return NumberCheck::kNotNumber;
  for (char c : text)
    if (c < '0' || c > '9') return NumberCheck::kNotNumber;
  unsigned long long value = 0;
  if (!ParseDigits(text, max, value)) return NumberCheck::kOutOfRange;
  out = static_cast<unsigned>(value);
  return NumberCheck::kOk;
}

std::string RangeText(unsigned min, unsigned max) {
  char text[96];
  std::snprintf(text, sizeof text, "%u から %u までの整数を入力してください。", min, max);
  return text;
}

std::string TooLongText(std::size_t max_bytes) {
  char text[96];
  std::snprintf(text, sizeof text, "このフィールドには %u バイト以内で入力してください。",
                static_cast<unsigned>(max_bytes));
  return text;
}

std::string TooManyCharsText(std::size_t max_chars) {
  char text[96];
  std::snprintf(text, sizeof text, "このフィールドには %u 文字以内で入力してください。",
                static_cast<unsigned>(max_chars));
  return text;
}

std::size_t SjisCharCount(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i, ++n)
    if (IsSjisLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ++i;
  return n;
}

int ClampTime(int minutes) { return minutes < kTimeMin ? kTimeMin : minutes > kTimeMax ? kTimeMax : minutes; }

BrowseStart SplitBrowsePath(std::string_view text) {
  BrowseStart start;
  const std::size_t slash = LastBackslash(text);
  if (slash == std::string_view::npos) {
    start.file = std::string(text);
  } else {
    start.folder = std::string(text.substr(0, slash));
    start.file = std::string(text.substr(slash + 1));
  }
  return start;
}

std::string OpenFileFilter(std::string_view bar_filter) {
  std::string out(bar_filter);
  for (char& c : out)
    if (c == '|') c = '\0';
  // The dialog reads pairs until an empty string: make sure two NULs end it.
  while (out.size() < 2 || out[out.size() - 1] != '\0' || out[out.size() - 2] != '\0') out.push_back('\0');
  return out;
}

std::string IconPickerStartPath(std::string_view path) {
  if (path.size() >= kIconPathBuffer) return std::string();
  return std::string(path);
}

const AccountColumn kAccountColumns[kAccountColumnCount] = {
    {"表示名", 120, 0},         {"ID(アカウント)", 120, 0}, {"メールサーバー", 180, 0},
    {"ポート", 60, 2},          {"APOP", 48, 2},           {"優先順位", 60, 2},
    {"アイコン", 180, 0},       {"受信音", 180, 0},         {"外部プログラム", 180, 0},
};

std::array<std::string, kAccountColumnCount> AccountRowTexts(const CAccount& a) {
  return {a.display_name.str(),
          a.user_id.str(),
          a.server.str(),
          std::to_string(a.port),
          a.apop == 1 ? "○" : "",
          std::to_string(a.priority),
          a.icon_file.str(),
          a.sound_file.str(),
          a.program_path.str()};
}

const AccountEditLimit kAccountEditLimits[kAccountEditLimitCount] = {
    {account_dlg::kDisplayName, 100}, {account_dlg::kUserId, 100},     {account_dlg::kPassword, 100},
    {account_dlg::kServer, 500},      {account_dlg::kIconFile, 259},   {account_dlg::kSoundFile, 259},
    {account_dlg::kProgram, 259},     {account_dlg::kCmdline, 999},    {account_dlg::kWorkFolder, 259},
    {account_dlg::kPort, 5},
};

namespace {

AccountEntryCheck Refuse(std::string message, int control) {
  AccountEntryCheck c;
  c.message = std::move(message);
  c.control = control;
  return c;
}

// A text into a record field of Size bytes: refused when it does not fit
// whole (the field would cut it).
template <std::size_t Size>
bool TakeText(const std::string& text, FieldText<Size>& field) {
  if (text.size() > FieldText<Size>::kMaxBytes || text.find('\0') != std::string::npos) return false;
  field = text;
  return true;
}

bool TakeNumber(const std::string& text, unsigned max, int& field, int control, AccountEntryCheck& refusal) {
  unsigned value = 0;
  switch (ParseUnsignedText(text, max, value)) {
    case NumberCheck::kOk: field = static_cast<int>(value); return true;
    case NumberCheck::kNotNumber: refusal = Refuse(kUnsignedText, control); return false;
    case NumberCheck::kOutOfRange: refusal = Refuse(RangeText(0, max), control); return false;
  }
  return false;
}

}  // namespace

AccountEntryCheck TakeAccountEntry(const AccountEntryTexts& t, const std::string& opening_name,
                                   const AccountList& list, CAccount& out) {
  namespace id = account_dlg;
  // 1. The values, each against its limit or range, in the dialog's order:
  // first the edit's limit in characters, then the record field in bytes.
  auto chars_ok = [](const std::string& text, int control) {
    for (const AccountEditLimit& l : kAccountEditLimits)
      if (l.control == control) return SjisCharCount(text) <= static_cast<std::size_t>(l.chars);
    return true;
  };
  auto limit_of = [](int control) {
    for (const AccountEditLimit& l : kAccountEditLimits)
      if (l.control == control) return static_cast<std::size_t>(l.chars);
    return std::size_t{0};
  };
  if (!chars_ok(t.display_name, id::kDisplayName))
    return Refuse(TooManyCharsText(limit_of(id::kDisplayName)), id::kDisplayName);
  if (t.display_name.size() > kDisplayNameMaxBytes) return Refuse(kDisplayNameTooLongText, id::kDisplayName);
  if (!TakeText(t.display_name, out.display_name)) return Refuse(TooLongText(kDisplayNameMaxBytes), id::kDisplayName);
  const struct {
    const std::string* text;
    int control;
  } texts[] = {{&t.user_id, id::kUserId}, {&t.password, id::kPassword}, {&t.server, id::kServer}};
  for (const auto& x : texts)
    if (!chars_ok(*x.text, x.control)) return Refuse(TooManyCharsText(limit_of(x.control)), x.control);
  if (t.user_id.size() > kUserIdMaxBytes) return Refuse(kUserIdTooLongText, id::kUserId);
  if (t.password.size() > kPasswordMaxBytes) return Refuse(kPasswordTooLongText, id::kPassword);
  if (!TakeText(t.user_id, out.user_id)) return Refuse(TooLongText(decltype(out.user_id)::kMaxBytes), id::kUserId);
  if (!TakeText(t.password, out.password))
    return Refuse(TooLongText(decltype(out.password)::kMaxBytes), id::kPassword);
  if (!TakeText(t.server, out.server)) return Refuse(TooLongText(decltype(out.server)::kMaxBytes), id::kServer);
  AccountEntryCheck refusal;
  if (!TakeNumber(t.port, kPortMax, out.port, id::kPort, refusal)) return refusal;
  if (!TakeNumber(t.priority, kPriorityMax, out.priority, id::kPriority, refusal)) return refusal;
  const struct {
    const std::string* text;
    int control;
  } files[] = {{&t.icon_file, id::kIconFile}, {&t.sound_file, id::kSoundFile}, {&t.program_path, id::kProgram},
               {&t.command_line, id::kCmdline}, {&t.work_folder, id::kWorkFolder}};
  for (const auto& x : files)
    if (!chars_ok(*x.text, x.control)) return Refuse(TooManyCharsText(limit_of(x.control)), x.control);
  if (!TakeText(t.icon_file, out.icon_file))
    return Refuse(TooLongText(decltype(out.icon_file)::kMaxBytes), id::kIconFile);
  if (!TakeText(t.sound_file, out.sound_file))
    return Refuse(TooLongText(decltype(out.sound_file)::kMaxBytes), id::kSoundFile);
  if (!TakeText(t.program_path, out.program_path))
    return Refuse(TooLongText(decltype(out.program_path)::kMaxBytes), id::kProgram);
  if (!TakeText(t.command_line, out.command_line))
    return Refuse(TooLongText(decltype(out.command_line)::kMaxBytes), id::kCmdline);
  if (!TakeText(t.work_folder, out.work_folder))
    return Refuse(TooLongText(decltype(out.work_folder)::kMaxBytes), id::kWorkFolder);

  // 2. Uniqueness before the required fields.
  if (t.display_name != opening_name)
    for (const CAccount& a : list)
      if (a.display_name == t.display_name) return Refuse(kDuplicateNameText, id::kDisplayName);

  // 3. Required fields.
  const struct {
    const std::string* text;
    int control;
  } required[] = {{&t.display_name, id::kDisplayName},
                  {&t.user_id, id::kUserId},
                  {&t.password, id::kPassword},
                  {&t.server, id::kServer}};
  for (const auto& r : required)
    if (r.text->empty() && (r.control != id::kPassword || t.password_required))
      return Refuse(kRequiredFieldsText, r.control);

  AccountEntryCheck ok;
  ok.ok = true;
  return ok;
}

}  // namespace tidewell
