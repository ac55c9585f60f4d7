// Command 32780: the help file Tidewell.chm beside the program, shown with
// HTML Help. HtmlHelpA comes from the installed HTML Help control
// (hhctrl.ocx), bound at first use; without it nothing happens.
#pragma once

#include <string>

namespace tidewell {

std::string HelpFilePath();

// Opens the help file on its default topic. False when HTML Help is missing
// or did not open a window.
bool ShowHelp();

}  // namespace tidewell
