// Resource numbers of the notification dialogs of the tray program.
#pragma once

#define IDD_ACCOUNT_ICON 147   // invisible owner window of one account's tray icon
#define IDD_VERSION 148        // version dialog
#define IDC_VERSION_ICON 1000  // program icon on the version dialog
#define IDC_VERSION_TEXT 1001  // "Tidewell ver" + the version number, set when it opens
#define IDI_TIDEWELL_PROGRAM 128  // program icon (Tidewell.rc)
#define IDI_TRAY_NORMAL 131       // normal-state tray icon (Tidewell.rc)
