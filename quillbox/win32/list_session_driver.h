// The list window's side of the list POP3 session: the socket, the host name
// lookup and the private messages WM_USER+1 ... +7, the delete command with
// its confirmation dialog, the message view command, the disconnect command
// and the external program command.
#pragma once

#include <windows.h>

#include <string>

namespace tidewell {

struct ListState;

constexpr UINT kWmListHostFound = WM_USER + 1;
constexpr UINT kWmListSocket = WM_USER + 2;
constexpr UINT kWmListContinue = WM_USER + 3;
constexpr UINT kWmListNextAccount = WM_USER + 5;
constexpr UINT kWmListError = WM_USER + 6;
constexpr UINT kWmListViewDone = WM_USER + 7;
// The token endpoint answered a refresh (wParam = the request id).
constexpr UINT kWmListToken = WM_USER + 8;

// Handles the private messages; false for any other message.
bool OnListSessionMessage(ListState& s, UINT msg, WPARAM wp, LPARAM lp);

void DeleteCommand(ListState& s);
void MessageViewCommand(ListState& s);
void DisconnectCommand(ListState& s);
void ExternalProgramCommand(ListState& s);

// The window is going away: the connection is closed, a half-fetched cache
// file is dropped.
void CloseListSession(ListState& s);

// Hands a fetched (or cached) message file on for display.
void ShowMessageFile(ListState& s, const std::string& path);

// Builds the rows again (list_window.cpp).
void RebuildListRows(ListState& s);

}  // namespace tidewell
