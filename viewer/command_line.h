// The standalone viewer's command line: the whole of it is the path of the
// message file to show.
#pragma once

#include <string>
#include <string_view>

namespace tidewell {

// The path in a command line: spaces and tabs around it are dropped; a line
// that then begins with a double quote gives the text after it up to a
// closing quote at the end (or to the end when there is none). Spaces inside
// are part of the path, quoted or not.
std::string PathFromCommandLine(std::string_view command_line);

}  // namespace tidewell
