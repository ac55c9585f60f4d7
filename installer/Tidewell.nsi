; The per-user installer of Tidewell (NSIS 3, Unicode). Built by
; installer/CMakeLists.txt:
;   makensis /DVERSION=x.y /DDIST=<dist folder> /DSOURCE=<source tree> /DOUTFILE=<setup.exe> Tidewell.nsi
; Installs into %LOCALAPPDATA%\Programs\Tidewell without administrator rights;
; the data folder %APPDATA%\Tidewell (Tidewell.ini, Account.dat, Mail\, ...) is
; created once and never written by the installer, so an update keeps it as it
; is, and the uninstaller removes it only when asked to.
; Silent mode: setup.exe /S [/LOGON]   (/LOGON adds the start at logon)
;              uninstall.exe /S [/REMOVEDATA]
; A 64-bit installer for the 64-bit programs (and no 32-bit Wine needed to test it).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!ifndef VERSION
  !error "makensis /DVERSION=x.y is required"
!endif
!ifndef DIST
  !error "makensis /DDIST=<folder with the deliverables> is required"
!endif
!ifndef SOURCE
  !error "makensis /DSOURCE=<source tree> is required"
!endif
!ifndef OUTFILE
  !define OUTFILE "Tidewell-${VERSION}-setup.exe"
!endif

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "x64.nsh"

!define PRODUCT "Tidewell"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tidewell"
!define WM_TRAY_QUIT 1128

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tidewell"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1041 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1041 "FileDescription" "Tidewell セットアップ"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "${PRODUCT}"

!define MUI_ICON "${SOURCE}/resources/tidewell/program.ico"
!define MUI_UNICON "${SOURCE}/resources/tidewell/program.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\Tidewell.exe"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Japanese"

; Ends a running Tidewell.exe (it ends on message 1128 to its window titled
; "Tidewell") so that its files can be replaced or removed; waits up to 10 s.
!macro EndRunningProgram un
Function ${un}EndRunningProgram
  StrCpy $1 0
  loop:
    FindWindow $0 "Tidewell_TrayWindow" "Tidewell"
    ${If} $0 == 0
      Return
    ${EndIf}
    ${If} $1 == 0
      DetailPrint "実行中の Tidewell を終了しています..."
    ${EndIf}
    SendMessage $0 ${WM_TRAY_QUIT} 0 0 /TIMEOUT=2000
    Sleep 250
    IntOp $1 $1 + 1
    IntCmp $1 40 0 loop 0
FunctionEnd
!macroend
!insertmacro EndRunningProgram ""
!insertmacro EndRunningProgram "un."

; The program runs in its data folder: Tidewell.ini and the account file live there.
Function StartProgram
  SetOutPath "$APPDATA\Tidewell"
  Exec '"$INSTDIR\Tidewell.exe"'
FunctionEnd

Section "Tidewell (必須)" SecMain
  SectionIn RO
  Call EndRunningProgram
  SetOutPath "$INSTDIR"
  File "${DIST}/Tidewell.exe"
  File "${DIST}/Quillbox.dll"
  File "${DIST}/Inkwell2.dll"
  File "${DIST}/Peekglass.exe"
  File /nonfatal "${DIST}/Tidewell.chm"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The data folder: created when missing, its contents left alone. The
  ; shortcut's working folder is the data folder (the program's current
  ; folder is where it keeps its files).
  CreateDirectory "$APPDATA\Tidewell"
  SetOutPath "$APPDATA\Tidewell"
  CreateShortcut "$SMPROGRAMS\Tidewell.lnk" "$INSTDIR\Tidewell.exe" "" "$INSTDIR\Tidewell.exe" 0 \
    SW_SHOWNORMAL "" "POP3 新着メールチェッカー"
  ; Start at logon: chosen again at every install.
  Delete "$SMSTARTUP\Tidewell.lnk"

  ; Programs and Features.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Tidewell ${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tidewell.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section /o "ログオン時に Tidewell を起動する" SecLogon
  SetOutPath "$APPDATA\Tidewell"
  CreateShortcut "$SMSTARTUP\Tidewell.lnk" "$INSTDIR\Tidewell.exe" "" "$INSTDIR\Tidewell.exe" 0 \
    SW_SHOWNORMAL "" "POP3 新着メールチェッカー"
SectionEnd

Section "un.Tidewell" SecUnMain
  SectionIn RO
  Call un.EndRunningProgram
  Delete "$INSTDIR\Tidewell.exe"
  Delete "$INSTDIR\Quillbox.dll"
  Delete "$INSTDIR\Inkwell2.dll"
  Delete "$INSTDIR\Peekglass.exe"
  Delete "$INSTDIR\Tidewell.chm"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Tidewell.lnk"
  Delete "$SMSTARTUP\Tidewell.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; Off unless ticked (or /REMOVEDATA): the accounts and mail files stay.
Section /o "un.データフォルダ (設定・アカウント・メール) も削除する" SecRemoveData
  RMDir /r "$APPDATA\Tidewell"
SectionEnd

; After the sections: the options of silent mode choose sections by their ids.
Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "Tidewell ${VERSION} は 64 ビット版の Windows で動作します。"
    Abort
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/LOGON" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecLogon}
  ${EndIf}
FunctionEnd

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVEDATA" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecRemoveData}
  ${EndIf}
FunctionEnd
