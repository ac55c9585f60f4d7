// except.dat against the process name list, both arbitrary.
//
// The input is split at its first 0xFF byte: the text of except.dat before
// it, process names (one per line) after it. Checked: nothing crashes; the
// list never outgrows its 100,000-byte buffer; an entry naming a process
// that is in the list (with any folder in front and in any letter case of
// its ASCII letters) matches; an empty except text matches nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/sjis.h"
#include "tidewell/engine/except_list.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Upper-cases ASCII letters, leaving both bytes of two-byte characters alone.
std::string UpperSjis(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(out[i]);
    if (tidewell::IsSjisLead(c) && i + 1 < out.size()) {
      ++i;
      continue;
    }
    if (c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\xFF');
  const std::string_view except_text = input.substr(0, cut);
  const std::string_view names = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);

  std::string list;
  std::string first_name;
  std::size_t from = 0;
  while (from < names.size()) {
    std::size_t end = names.find('\n', from);
    if (end == std::string_view::npos) end = names.size();
    const std::string_view name = names.substr(from, end - from);
    tidewell::AppendProcessName(list, name);
    if (first_name.empty()) first_name = std::string(name);
    from = end + 1;
  }
  Check(list.size() <= tidewell::kProcessListBuffer - 1);

  (void)tidewell::ExceptListMatches(except_text, list);
  Check(!tidewell::ExceptListMatches("", list));

  // A process in the list is found by an entry that names it.
  const bool plain = !first_name.empty() && first_name.find('\\') == std::string::npos &&
                     first_name.find('\r') == std::string::npos && first_name.find('\0') == std::string::npos &&
                     first_name.size() + 2 < tidewell::kProcessListBuffer &&
                     !tidewell::IsSjisLead(static_cast<unsigned char>(first_name.back()));
  if (plain) {
    Check(tidewell::ExceptListMatches("C:\\Program Files\\" + first_name + "\r\n", list));
    Check(tidewell::ExceptListMatches(std::string(except_text) + "\r\nX:\\" + UpperSjis(first_name) + "\r\n", list));
  }
  return 0;
}
