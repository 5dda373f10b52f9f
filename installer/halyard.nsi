; HalyardSetup.exe: installs the Halyard cash-drawer service object and its
; tools, registers the COM server, and writes the registry entries where the
; uninstall cleaner (Scrubber.exe) looks for them.
;
; Built by CMake (target `installer`), which passes:
;   OUT_FILE   the setup program to write
;   PAYLOAD    an include file with the InstallPayload / RemovePayload macros
;              (File and Delete lines for every binary of the build)
;   INI_FILE   the default OPOSLog.ini
;   VERSION    the package version, also the name of its version key
;
; Silent use:
;   HalyardSetup.exe /S [/DEVICE=NAME /PORT=PORT [/PIN=2|5] [/SENSOR=high-open|high-shut]]
;                    [/D=C:\Install\Dir]          (/D= last, without quotes)
;   "C:\Install\Dir\uninstall.exe" /S

Unicode true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "StrFunc.nsh"
${StrLoc}

!ifndef OUT_FILE | PAYLOAD | INI_FILE | VERSION
  !error "build this script through CMake (target installer)"
!endif
!include "${PAYLOAD}"

!define PRODUCT_NAME  "Halyard OPOS Cash Drawer"
!define PROGID        "SOTarvoCash.SOTvCash"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OPOS_is1"
; Keys of the cleaner's sweep, in its order. It stops at the first key that
; does not exist, so the installer makes sure each one does.
!define POSPRINTER_KEY  "SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter"
!define SERVICEINFO_KEY "SOFTWARE\OLEforRetail\ServiceInfo"
!define PACKAGE_KEY     "SOFTWARE\QELM\TVOPOS"
!define VENDOR_KEY      "SOFTWARE\QELM"
!define CASHDRAWER_KEY  "SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer"
!define SERVICEOPOS_KEY "SOFTWARE\OLEforRetail\ServiceOPOS"
!define OPOS_ROOT_KEY   "SOFTWARE\OLEforRetail"
; Our entry under ServiceInfo: its data carries the cleaner's markers.
!define SERVICEINFO_VALUE "SOTarvoCash.SOTvCash"
!define SERVICEINFO_DATA  "Tarvo cash drawer service object ${VERSION} (QELM)"

; Exit codes of a silent run.
!define EXIT_BAD_OPTION  2
!define EXIT_NOT_REGISTERED 3

Name "${PRODUCT_NAME}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES\Halyard"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var DeviceName
Var DevicePort
Var PinSingle
Var OpenSingle

; ---- Registry helpers ---------------------------------------------------

; Sets $0 to 1 when HKLM\KEY exists, else 0.
!macro KeyExists KEY
  ClearErrors
  EnumRegKey $0 HKLM "${KEY}" 0
  ${If} ${Errors}
    StrCpy $0 0
  ${Else}
    StrCpy $0 1
  ${EndIf}
!macroend

; Creates HKLM\KEY when it is missing and records that we made it (value
; NAME of the uninstall entry), so the uninstaller removes only keys of ours.
!macro EnsureKey KEY NAME
  !insertmacro KeyExists "${KEY}"
  ${If} $0 == 0
    WriteRegStr HKLM "${KEY}" "" ""
    DeleteRegValue HKLM "${KEY}" ""
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "${NAME}" 1
  ${EndIf}
!macroend

; Deletes HKLM\KEY if the installer created it and it is empty by now.
!macro RemoveKeyIfOurs KEY NAME
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "${NAME}"
  ${If} $0 == 1
    DeleteRegKey /ifempty HKLM "${KEY}"
  ${EndIf}
!macroend

; ---- Options of a silent run --------------------------------------------

Function ReadDeviceOptions
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/DEVICE=" $DeviceName
  ${GetOptions} $R0 "/PORT=" $DevicePort
  ${GetOptions} $R0 "/PIN=" $R1
  ${If} ${Errors}
  ${OrIf} $R1 == ""
    StrCpy $R1 "2"
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/SENSOR=" $R2
  ${If} ${Errors}
  ${OrIf} $R2 == ""
    StrCpy $R2 "high-shut"
  ${EndIf}

  ${If} $R1 == "2"
    StrCpy $PinSingle 0
  ${ElseIf} $R1 == "5"
    StrCpy $PinSingle 1
  ${Else}
    MessageBox MB_ICONSTOP "/PIN= is 2 or 5, not $R1" /SD IDOK
    SetErrorLevel ${EXIT_BAD_OPTION}
    Quit
  ${EndIf}
  ${If} $R2 == "high-open"
    StrCpy $OpenSingle 1
  ${ElseIf} $R2 == "high-shut"
    StrCpy $OpenSingle 0
  ${Else}
    MessageBox MB_ICONSTOP "/SENSOR= is high-open or high-shut, not $R2" /SD IDOK
    SetErrorLevel ${EXIT_BAD_OPTION}
    Quit
  ${EndIf}
  ; A device needs a port; a name alone is a mistake worth stopping for.
  ${If} $DeviceName != ""
  ${AndIf} $DevicePort == ""
    MessageBox MB_ICONSTOP "/DEVICE= needs /PORT= (tcp:HOST[:PORT], COMn or LPTn)" /SD IDOK
    SetErrorLevel ${EXIT_BAD_OPTION}
    Quit
  ${EndIf}
  ; The port library reads tcp:HOST[:PORT], COMn or LPTn; drawerctl add
  ; checks the details, the installer only the kind.
  ${If} $DevicePort != ""
    StrCpy $R3 $DevicePort 4
    StrCpy $R4 $DevicePort 3
    ${IfNot} $R3 == "tcp:"
    ${AndIfNot} $R4 == "COM"
    ${AndIfNot} $R4 == "LPT"
      MessageBox MB_ICONSTOP "/PORT= is tcp:HOST[:PORT], COMn or LPTn, not $DevicePort" /SD IDOK
      SetErrorLevel ${EXIT_BAD_OPTION}
      Quit
    ${EndIf}
  ${EndIf}
  ; A backslash would make the name a path of keys.
  ${StrLoc} $R5 $DeviceName "\" ">"
  ${If} $R5 != ""
    MessageBox MB_ICONSTOP "/DEVICE= may not contain a backslash" /SD IDOK
    SetErrorLevel ${EXIT_BAD_OPTION}
    Quit
  ${EndIf}
  ; The cleaner removes cash drawers whose name contains KX8.
  ${If} $DeviceName == ""
  ${AndIf} $DevicePort != ""
    StrCpy $DeviceName "KX8-CashDrawer"
  ${EndIf}
FunctionEnd

Function .onInit
  SetRegView 32
  Call ReadDeviceOptions
FunctionEnd

; ---- Install --------------------------------------------------------------

Section "Halyard" SecMain
  SetOutPath "$INSTDIR"
  !insertmacro InstallPayload
  ; An integrator's log settings survive a reinstall.
  SetOverwrite off
  File "/oname=OPOSLog.ini" "${INI_FILE}"
  SetOverwrite on
  CreateDirectory "$INSTDIR\Cashlog"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The service object finds its folder, and so its OPOSLog.ini and log,
  ; from this value.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR\"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "QELM"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  !insertmacro EnsureKey "${OPOS_ROOT_KEY}" "CreatedOposRoot"
  !insertmacro EnsureKey "${SERVICEOPOS_KEY}" "CreatedServiceOpos"
  !insertmacro EnsureKey "${POSPRINTER_KEY}" "CreatedPosPrinter"
  !insertmacro EnsureKey "${CASHDRAWER_KEY}" "CreatedCashDrawer"
  !insertmacro EnsureKey "${SERVICEINFO_KEY}" "CreatedServiceInfo"
  !insertmacro EnsureKey "${VENDOR_KEY}" "CreatedVendor"
  WriteRegStr HKLM "${SERVICEINFO_KEY}" "${SERVICEINFO_VALUE}" "${SERVICEINFO_DATA}"
  WriteRegStr HKLM "${PACKAGE_KEY}\${VERSION}" "InstallDir" "$INSTDIR\"
  WriteRegStr HKLM "${PACKAGE_KEY}\${VERSION}" "ProgID" "${PROGID}"

  ; regsvr32 finds Ferrule.dll and Quire.dll beside Halyard.dll.
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\Halyard.dll"' $0
  ${If} $0 != 0
    DetailPrint "Halyard.dll could not be registered (regsvr32 exit code $0)"
    MessageBox MB_ICONSTOP "Halyard.dll could not be registered (regsvr32 exit code $0)." /SD IDOK
    SetErrorLevel ${EXIT_NOT_REGISTERED}
    Abort
  ${EndIf}
  DetailPrint "Registered ${PROGID}"

  ${If} $DeviceName != ""
    WriteRegStr HKLM "${CASHDRAWER_KEY}\$DeviceName" "" "${PROGID}"
    WriteRegDWORD HKLM "${CASHDRAWER_KEY}\$DeviceName" "OpenSingle" $OpenSingle
    WriteRegDWORD HKLM "${CASHDRAWER_KEY}\$DeviceName" "PinSingle" $PinSingle
    WriteRegStr HKLM "${CASHDRAWER_KEY}\$DeviceName" "Port" $DevicePort
    DetailPrint "Configured cash drawer $DeviceName on $DevicePort"
  ${EndIf}
SectionEnd

; ---- Uninstall ------------------------------------------------------------

Function un.onInit
  SetRegView 32
FunctionEnd

; Deletes every cash drawer served by this package's service object; the
; cleaner only catches the ones whose name contains KX8.
Function un.RemoveOurDrawers
  StrCpy $1 0
  ${Do}
    ClearErrors
    EnumRegKey $2 HKLM "${CASHDRAWER_KEY}" $1
    ${If} ${Errors}
    ${OrIf} $2 == ""
      ${Break}
    ${EndIf}
    ReadRegStr $3 HKLM "${CASHDRAWER_KEY}\$2" ""
    ${If} $3 == "${PROGID}"
      DeleteRegKey HKLM "${CASHDRAWER_KEY}\$2"
      DetailPrint "Removed cash drawer $2"
    ${Else}
      IntOp $1 $1 + 1
    ${EndIf}
  ${Loop}
FunctionEnd

Section "Uninstall"
  ExecWait '"$SYSDIR\regsvr32.exe" /s /u "$INSTDIR\Halyard.dll"' $0
  DetailPrint "Unregistered ${PROGID} (regsvr32 exit code $0)"

  ; The cleaner sweeps the package's values and keys (and KX8 devices).
  ExecWait '"$INSTDIR\Scrubber.exe"' $0
  DetailPrint "Scrubber.exe finished (exit code $0)"

  ; What the cleaner's sweep cannot reach or may have stopped short of.
  Call un.RemoveOurDrawers
  DeleteRegValue HKLM "${SERVICEINFO_KEY}" "${SERVICEINFO_VALUE}"
  DeleteRegKey HKLM "${PACKAGE_KEY}\${VERSION}"
  DeleteRegKey /ifempty HKLM "${PACKAGE_KEY}"
  !insertmacro RemoveKeyIfOurs "${VENDOR_KEY}" "CreatedVendor"
  !insertmacro RemoveKeyIfOurs "${SERVICEINFO_KEY}" "CreatedServiceInfo"
  !insertmacro RemoveKeyIfOurs "${CASHDRAWER_KEY}" "CreatedCashDrawer"
  !insertmacro RemoveKeyIfOurs "${POSPRINTER_KEY}" "CreatedPosPrinter"
  !insertmacro RemoveKeyIfOurs "${SERVICEOPOS_KEY}" "CreatedServiceOpos"
  !insertmacro RemoveKeyIfOurs "${OPOS_ROOT_KEY}" "CreatedOposRoot"

  !insertmacro RemovePayload
  Delete "$INSTDIR\OPOSLog.ini"
  RMDir /r "$INSTDIR\Cashlog"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
