// Row building from arbitrary account mail file bytes: no crash, no read past
// the data (the rows are built over the fuzzer's own buffer), never more rows
// than blocks. The stored header and the re-decode of every row's old number
// run over the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "quillbox/mail_rows.h"
#include "tests/quillbox/core_list_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  std::size_t blocks = 0;
  for (std::size_t at = file.find("\r\n.\r\n"); at != std::string_view::npos; at = file.find("\r\n.\r\n", at + 5))
    ++blocks;
  tidewell::testing::CoreListCodec codec;
  const std::vector<tidewell::MailRow> rows = tidewell::BuildAccountRows(codec, file, "account", 0);
  if (rows.size() > blocks) std::abort();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].item != static_cast<int>(i)) std::abort();
    const std::string& old_number = rows[i].columns[tidewell::kColNumberOld];
    if (old_number.empty()) continue;
    const int number = std::atoi(old_number.c_str());
    tidewell::StoredHeader(file, number);
    std::pair<std::string, std::string> texts;
    tidewell::RedecodeRow(codec, file, number, tidewell::kCmdRedecodeFirst + static_cast<int>(i % 6), texts);
  }
  return 0;
}
