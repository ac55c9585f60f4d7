// Rows of the mail list, built from the account mail files that the tray
// program's last check left under the data folder's Mail folder: one row per
// message block (blocks marked deleted skipped), one error row per error
// block. Also the stored header of a row, the re-decoding of a row's subject
// and sender with a chosen character code, and the sort comparison.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "quillbox/list_codec.h"

namespace tidewell {

enum ListColumn : int {
  kColSubject = 0,
  kColFrom,
  kColDate,
  kColSize,
  kColName,
  kColNumber,
  kColNumberOld,
  kColUidl,
  kColMsgId,
  kColHash,
  kListColumnCount
};

// Row images of the list.
enum RowImage : int { kImageText = 0, kImageOther = 1, kImageError = 2 };

// Buffer size (terminator included) of the header values read into columns.
constexpr std::size_t kRowFieldBuffer = 500;

struct MailRow {
  std::array<std::string, kListColumnCount> columns;
  int image = kImageText;
  int item = 0;  // insertion number over all accounts: the list item's lParam
};

// The rows of one account mail file's bytes. Items are numbered from
// first_item on. An error row has only Subject and Name.
std::vector<MailRow> BuildAccountRows(ListCodec& codec, std::string_view file, std::string_view account,
                                      int first_item);

// The rows of every account, in account order, read from the data folder's
// Mail folder (a missing or unreadable file gives no rows).
std::vector<MailRow> BuildAllRows(ListCodec& codec, const std::string& data_folder,
                                  const std::vector<std::string>& accounts);

// Path of an account's mail file ("" when the codec has no MD5).
std::string AccountMailPath(ListCodec& codec, const std::string& data_folder, std::string_view account);

// Header hash of a raw block (as it stands in the file): MD5 of the text from
// its third line to its end, with the first Status field and its line end
// removed.
std::string BlockHeaderHash(ListCodec& codec, std::string_view block);

// Where the message block with old number n ("+OK n ", letter case as given)
// starts: at the start of the file or right after a block terminator. npos
// when there is none.
std::size_t FindMessageBlock(std::string_view file, int number, bool ignore_case);

// Where every message block of an account mail file starts, by its old
// number, found in one pass: what FindMessageBlock gives for each number
// (the first block of a number counts).
class MessageBlockIndex {
 public:
  MessageBlockIndex(std::string_view file, bool ignore_case);
  std::size_t Find(int number) const;

 private:
  std::unordered_map<int, std::size_t> starts_;
};

// Stored header of the block with old number n: from its third line through
// its terminator; "" when the block or its terminator is missing.
std::string StoredHeader(std::string_view file, int number);
// The same for the block starting at start.
std::string StoredHeaderAt(std::string_view file, std::size_t start);

// Re-decode command ids and what they convert from.
constexpr int kCmdRedecodeFirst = 40008;  // JIS
constexpr int kCmdRedecodeLast = 40013;   // UTF-16

// Subject (first) and sender (second) of the block with old number n,
// decoded in raw mode and converted with the code of command (40008 JIS,
// 40009 SJIS, 40010 EUC, 40011 UTF-7, 40012 UTF-8, 40013 UTF-16). False when
// the block is missing.
bool RedecodeRow(TextCodec& codec, std::string_view file, int number, int command,
                 std::pair<std::string, std::string>& out);
// The same with the blocks found through an index of the file (built with
// letter case ignored).
bool RedecodeRow(TextCodec& codec, std::string_view file, const MessageBlockIndex& index, int number, int command,
                 std::pair<std::string, std::string>& out);

// The conversion step of a re-decode alone (exposed for its table tests).
std::string ConvertForCommand(TextCodec& codec, const std::string& decoded, int command);

// Text of a column as the sort compares it: dates "y/m/d h:m:s" written with
// fixed widths, sizes "n KB" as six digits; other columns as they stand.
std::string SortKey(int column, std::string_view text);

// The sort comparison of two rows' texts in column: negative when a sorts
// before b. Descending inverts the order; equal texts give 0.
int CompareRowTexts(int column, std::string_view a, std::string_view b, bool descending);

}  // namespace tidewell
