// Resource ids of Tidewell.exe. The numbers are fixed: the menu commands are
// the ones engine_state.h names, and other programs look for icon 128.
#pragma once

#define IDI_PROGRAM 128
#define IDI_TRAY_NORMAL 131
#define IDI_TRAY_MAIL 132
#define IDI_TRAY_CHECKING 133
#define IDI_TRAY_ERROR_MAIL 134
#define IDI_TRAY_ERROR 135

#define IDR_POPUP 129

#define IDS_SOCKET_INIT_FAILED 103

#define ID_VERSION 32771
#define ID_EXIT 32772
#define ID_MAIL_CHECK 32773
#define ID_SETTINGS 32774
#define ID_DISCONNECT 32775
#define ID_LIST 32776
#define ID_HELP 32780
