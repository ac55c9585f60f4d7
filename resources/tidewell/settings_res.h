// Resource numbers of the settings sheet and the account dialog of the tray
// program. The page and control numbers are fixed; the code names its controls
// by these.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Page dialogs of the sheet, in tab order: 106, 137, 138, 149, 107.
#define IDD_PAGE_MESSAGE 106
#define IDD_PAGE_ACCOUNTS 107
#define IDD_ACCOUNT 136
#define IDD_PAGE_RECEIVE 137
#define IDD_PAGE_ICONS 138
#define IDD_PAGE_CLICK 149

#define IDI_SETTINGS_NORMAL 131   // tray icons of Tidewell.rc, the previews' defaults
#define IDI_SETTINGS_MAIL 132
#define IDI_SETTINGS_CHECKING 133
#define IDI_BROWSE 144            // picture of every "参照" button
#define IDI_ACCOUNT_DEFAULT 146   // account icon preview when the file holds none

// Page "メッセージ" (106).
#define IDC_TIME_CHECK 1000
#define IDC_TIME 1001
#define IDC_TIME_SPIN 1002
#define IDC_START 1003
#define IDC_END 1004
#define IDC_MSG_CHECK 1005
#define IDC_NEW_MESSAGE 1006
#define IDC_ERROR_DISREGARD 1007

// Page "受信時処理" (137).
#define IDC_SOUND_CHECK 1025
#define IDC_SOUND 1026
#define IDC_SOUND_BROWSE 1032
#define IDC_EXEC_CHECK 1027
#define IDC_EXEC_DUPLICATE 1054
#define IDC_EXEC 1028
#define IDC_EXEC_BROWSE 1017
#define IDC_EXEC_CMDLINE 1030
#define IDC_EXEC_WORK_FOLDER 1029
#define IDC_EXEC_ICON_CHANGE 1055
#define IDC_LIST_OPEN 1031

// Page "アイコン" (138).
#define IDC_NORMAL_PREVIEW 1033
#define IDC_RECEIVE_PREVIEW 1034
#define IDC_CONNECT_PREVIEW 1035
#define IDC_NORMAL_CHECK 1036
#define IDC_NORMAL_PATH 1037
#define IDC_NORMAL_PICK 1038
#define IDC_RECEIVE_CHECK 1039
#define IDC_RECEIVE_PATH 1040
#define IDC_RECEIVE_PICK 1041
#define IDC_CONNECT_CHECK 1042
#define IDC_CONNECT_PATH 1043
#define IDC_CONNECT_PICK 1044

// Page "左クリック" (149).
#define IDC_NORMAL_CLICK_CHECK 1046
#define IDC_NORMAL_CLICK_LIST 1047
#define IDC_RECEIVE_CLICK_CHECK 1048
#define IDC_RECEIVE_CLICK_LIST 1049
#define IDC_RECEIVE_CLICK_EXEC 1050
#define IDC_NORMAL_CLICK_GROUP 1051
#define IDC_RECEIVE_CLICK_GROUP 1052

// Page "アカウント" (107).
#define IDC_ACCOUNT_LIST 1006
#define IDC_ACCOUNT_ADD 1007
#define IDC_ACCOUNT_CHANGE 1008
#define IDC_ACCOUNT_DELETE 1009
#define IDC_ACCOUNT_NOTE 1010     // why the accounts cannot be changed (hidden otherwise)

// Account dialog (136).
#define IDC_ACC_NAME 1008
#define IDC_ACC_USER 1010
#define IDC_ACC_PASSWORD 1011
#define IDC_ACC_SERVER 1012
#define IDC_ACC_PORT 1013
#define IDC_ACC_ICON_FILE 1014
#define IDC_ACC_ICON_CHECK 1015
#define IDC_ACC_ICON_PICK 1016
#define IDC_ACC_SOUND_FILE 1017
#define IDC_ACC_SOUND_CHECK 1018
#define IDC_ACC_SOUND_BROWSE 1019
#define IDC_ACC_PROGRAM 1020
#define IDC_ACC_EXEC_CHECK 1021
#define IDC_ACC_PROGRAM_BROWSE 1022
#define IDC_ACC_CMDLINE 1023
#define IDC_ACC_ICON_PREVIEW 1024
#define IDC_ACC_WORK_FOLDER 1025
#define IDC_ACC_PRIORITY 1026
#define IDC_ACC_NO_DUPLICATE 1055
#define IDC_ACC_ICON_TO_NORMAL 1056
#define IDC_ACC_SECURITY 1057      // connection security: none, STLS, TLS on connect
#define IDC_ACC_TEST 1058          // "接続テスト": tries the values as entered
#define IDC_BALLOON 1059           // page 受信時処理: Message/Balloon
#define IDC_ACC_METHOD 1060        // sign-in method: パスワード, APOP, OAuth 2.0 (where the APOP box 1009 was)
#define IDC_ACC_PROVIDER 1061      // OAuth provider: Microsoft, Google, カスタム
#define IDC_ACC_SIGNIN 1062        // "サインイン": runs the sign-in in the browser ("中止" meanwhile)
#define IDC_ACC_SIGNIN_STATUS 1063 // who signed in, or that a sign-in is needed
#define IDC_ACC_OAUTH_NOTE 1064    // the provider's missing settings, OAuth without TLS
