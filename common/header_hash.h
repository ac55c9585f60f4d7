// The header hash that names a mail across the tray program, the list and
// the servers: the MD5 of a mail's header text (as a TOP n 0 reply carries it
// after its status line, blank line and terminator included) with its first
// Status field removed. The Status field is the one header line a mail store
// changes on its own (when a mail was read with another program), so two
// copies differing only there share the hash.
//
// The functions here give the text to digest; the callers hash it with the
// MD5 they have (the codec library's MD5Calc).
#pragma once

#include <string>
#include <string_view>

namespace tidewell {

// The header text less its first Status field: a line starting with
// "status" (any letter case) followed by blanks or tabs and a colon, with its
// folded continuation lines and its line break. Only the header itself (up to
// its first empty line) is searched; a header without Status stays as it is.
std::string HeaderWithoutStatus(std::string_view header);

// The text to digest for a message buffer or an account mail file block (a
// LIST reply line, the status line of the TOP reply, then the header):
// everything after the second line break, Status removed. False (out empty)
// when the buffer has fewer than two line breaks: no hash for that mail.
bool HeaderHashText(std::string_view buffer, std::string& out);

// The same for a reply as the server sends it (status line, header, maybe
// body lines, terminator): the header through its empty line, then the
// terminator, as a TOP n 0 reply of the same mail would hold it. False when
// the reply has no line break or its header is not complete yet.
bool ReplyHeaderHashText(std::string_view reply, std::string& out);

}  // namespace tidewell
