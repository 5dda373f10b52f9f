; HalyardSetup.exe: installs the Halyard cash-drawer service object and its
; tools, registers the COM server, and writes the registry entries where the
; uninstall cleaner (Scrubber.exe) looks for them.
;
; Two setup programs come from this script. The 32-bit one (for 32-bit
; Windows) installs the 32-bit product into one folder and writes the 32-bit
; registry view. The 64-bit one (X64 defined: HalyardSetup-x64.exe) installs
; the 64-bit product into x64\ and the 32-bit service object into x86\, each
; registered by the regsvr32 of its own bitness, and writes its entries into
; both views, so tills of either bitness find the service object, its log
; settings and the drawers.
;
; Built by CMake (target `installer`), which passes:
;   OUT_FILE   the setup program to write
;   PAYLOAD    an include file with the InstallPayload / RemovePayload macros
;              (File and Delete lines for every binary of the build)
;   INI_FILE   the default OPOSLog.ini
;   VERSION    the package version, also the name of its version key
;   X64        (64-bit setup program only) defined
;
; Silent use:
;   HalyardSetup.exe /S [/DEVICE=NAME /PORT=PORT [/PIN=2|5] [/SENSOR=high-open|high-shut]]
;                    [/D=C:\Install\Dir]          (/D= last, without quotes)
;   "C:\Install\Dir\uninstall.exe" /S

!ifdef X64
  Target amd64-unicode
!else
  Unicode true
!endif
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
; The Start-menu entry of the technician's window (all users' menu).
!define START_MENU_DIR  "$SMPROGRAMS\Halyard"
!define START_MENU_LINK "$SMPROGRAMS\Halyard\Halyard cash drawers.lnk"
!define SERVICEOPOS_KEY "SOFTWARE\OLEforRetail\ServiceOPOS"
!define OPOS_ROOT_KEY   "SOFTWARE\OLEforRetail"
; Our entry under ServiceInfo: its data carries the cleaner's markers.
!define SERVICEINFO_VALUE "SOTarvoCash.SOTvCash"
!define SERVICEINFO_DATA  "Tarvo cash drawer service object ${VERSION} (QELM)"

; Exit codes of a silent run.
!define EXIT_BAD_OPTION  2
!define EXIT_NOT_REGISTERED 3

; Where each service object lives, and the regsvr32 of its bitness. A 64-bit
; process sees the real System32; the 32-bit programs are in SysWOW64.
!ifdef X64
  !define SERVER_DIR     "$INSTDIR\x64"
  !define SERVER32_DIR   "$INSTDIR\x86"
  !define SERVER_BITS    "64-bit"
  !define REGSVR32_32    "$WINDIR\SysWOW64\regsvr32.exe"
!else
  !define SERVER_DIR     "$INSTDIR"
  !define SERVER_BITS    "32-bit"
!endif

Name "${PRODUCT_NAME}"
OutFile "${OUT_FILE}"
!ifdef X64
  InstallDir "$PROGRAMFILES64\Halyard"
!else
  InstallDir "$PROGRAMFILES\Halyard"
!endif
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
; 0 for /SENSOR=none, empty for a drawer with a sensor
Var DrawerSensor

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

; Runs the macro NAME once in each registry view this setup program writes:
; the 32-bit view, and on 64-bit Windows the native view too.
!macro InEachView NAME
  SetRegView 32
  !insertmacro ${NAME}
  !ifdef X64
    SetRegView 64
    !insertmacro ${NAME}
  !endif
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
  StrCpy $DrawerSensor ""
  ${If} $R2 == "high-open"
    StrCpy $OpenSingle 1
  ${ElseIf} $R2 == "high-shut"
    StrCpy $OpenSingle 0
  ${ElseIf} $R2 == "none"
    ; No sensor wire: the polarity means nothing, the service still wants one.
    StrCpy $OpenSingle 0
    StrCpy $DrawerSensor 0
  ${Else}
    MessageBox MB_ICONSTOP "/SENSOR= is high-open, high-shut or none, not $R2" /SD IDOK
    SetErrorLevel ${EXIT_BAD_OPTION}
    Quit
  ${EndIf}
  ; A device needs a port; a name alone is a mistake worth stopping for.
  ${If} $DeviceName != ""
  ${AndIf} $DevicePort == ""
    MessageBox MB_ICONSTOP "/DEVICE= needs /PORT= (tcp:HOST[:PORT], COMn, LPTn, USB[:SERIAL] or PRINTER:QUEUE)" /SD IDOK
    SetErrorLevel ${EXIT_BAD_OPTION}
    Quit
  ${EndIf}
  ; The port library reads tcp:HOST[:PORT], COMn, LPTn, USB, USB:SERIAL (or
  ; a device path) and PRINTER:QUEUE; drawerctl add checks the details, the
  ; installer only the kind.
  ${If} $DevicePort != ""
    StrCpy $R3 $DevicePort 4
    StrCpy $R4 $DevicePort 3
    StrCpy $R6 $DevicePort 8
    ${IfNot} $R3 == "tcp:"
    ${AndIfNot} $R4 == "COM"
    ${AndIfNot} $R4 == "LPT"
    ${AndIfNot} $R3 == "USB:"
    ${AndIfNot} $DevicePort == "USB"
    ${AndIfNot} $R6 == "PRINTER:"
      MessageBox MB_ICONSTOP "/PORT= is tcp:HOST[:PORT], COMn, LPTn, USB[:SERIAL] or PRINTER:QUEUE, not $DevicePort" /SD IDOK
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
  !ifdef X64
    SetRegView 64
  !else
    SetRegView 32
  !endif
  Call ReadDeviceOptions
FunctionEnd

; ---- Install --------------------------------------------------------------

; The registry entries of one view. The service object of that view's
; bitness finds its folder, and so OPOSLog.ini and Cashlog\, from the
; uninstall entry.
!macro WriteViewEntries
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

  ${If} $DeviceName != ""
    WriteRegStr HKLM "${CASHDRAWER_KEY}\$DeviceName" "" "${PROGID}"
    WriteRegDWORD HKLM "${CASHDRAWER_KEY}\$DeviceName" "OpenSingle" $OpenSingle
    WriteRegDWORD HKLM "${CASHDRAWER_KEY}\$DeviceName" "PinSingle" $PinSingle
    WriteRegStr HKLM "${CASHDRAWER_KEY}\$DeviceName" "Port" $DevicePort
    ${If} $DrawerSensor != ""
      WriteRegDWORD HKLM "${CASHDRAWER_KEY}\$DeviceName" "DrawerSensor" $DrawerSensor
    ${Else}
      ; Absent is a drawer with a sensor.
      DeleteRegValue HKLM "${CASHDRAWER_KEY}\$DeviceName" "DrawerSensor"
    ${EndIf}
  ${EndIf}
!macroend

; Registers the service object in DIR with REGSVR32; a failure stops the
; install with its own exit code (the files stay, for regsvr32 by hand).
!macro RegisterServer REGSVR32 DIR BITS
  ExecWait '"${REGSVR32}" /s "${DIR}\Halyard.dll"' $0
  !insertmacro CheckRegistered "${DIR}" "${BITS}"
!macroend

; Looks at regsvr32's exit code in $0.
!macro CheckRegistered DIR BITS
  ${If} $0 != 0
    DetailPrint "The ${BITS} Halyard.dll could not be registered (regsvr32 exit code $0)"
    MessageBox MB_ICONSTOP "The ${BITS} Halyard.dll could not be registered (regsvr32 exit code $0)." /SD IDOK
    SetErrorLevel ${EXIT_NOT_REGISTERED}
    Abort
  ${EndIf}
  DetailPrint "Registered ${PROGID} (${BITS}, ${DIR}\Halyard.dll)"
!macroend

Section "Halyard" SecMain
  SetOutPath "$INSTDIR"
  !insertmacro InstallPayload
  SetOutPath "$INSTDIR"
  ; An integrator's log settings survive a reinstall.
  SetOverwrite off
  File "/oname=OPOSLog.ini" "${INI_FILE}"
  SetOverwrite on
  CreateDirectory "$INSTDIR\Cashlog"
  ; Tills run as standard users, who may not write under Program Files: the
  ; log folder, and every file made in it, is theirs to write. The group is
  ; named by its well-known SID, which no language of Windows renames.
  ExecWait '"$SYSDIR\icacls.exe" "$INSTDIR\Cashlog" /grant *S-1-5-32-545:(OI)(CI)M' $0
  DetailPrint "Users may write the log folder $INSTDIR\Cashlog (icacls exit code $0)"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  !insertmacro InEachView WriteViewEntries
  !ifdef X64
    ; One entry in Apps & features: the 32-bit view's copy is only there for
    ; the 32-bit service object to find its folder.
    SetRegView 32
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "SystemComponent" 1
    SetRegView 64
  !endif
  ${If} $DeviceName != ""
    DetailPrint "Configured cash drawer $DeviceName on $DevicePort"
  ${EndIf}

  ; The technician's window, for every user of the till.
  SetShellVarContext all
  CreateDirectory "${START_MENU_DIR}"
  CreateShortCut "${START_MENU_LINK}" "${SERVER_DIR}\drawerconfig.exe" "" \
                 "${SERVER_DIR}\drawerconfig.exe" 0 SW_SHOWNORMAL "" \
                 "Configure and test the cash drawers"
  DetailPrint "Start menu: ${START_MENU_LINK}"

  ; regsvr32 finds Ferrule.dll and Quire.dll beside Halyard.dll.
  !insertmacro RegisterServer "$SYSDIR\regsvr32.exe" "${SERVER_DIR}" "${SERVER_BITS}"
  !ifdef X64
    Call RegisterServer32
  !endif
SectionEnd

!ifdef X64
; The 32-bit service object needs WOW64, which some Windows editions leave
; out (Server Core without it). There 32-bit tills cannot run either: the
; 64-bit service object still serves 64-bit ones, so the install goes on and
; says why the 32-bit one is not registered.
Function RegisterServer32
  ${IfNot} ${FileExists} "${REGSVR32_32}"
    DetailPrint "32-bit programs cannot run on this Windows (no ${REGSVR32_32}): the 32-bit service object is not registered"
    Return
  ${EndIf}
  ClearErrors
  ExecWait '"${REGSVR32_32}" /s "${SERVER32_DIR}\Halyard.dll"' $0
  ${If} ${Errors}
    DetailPrint "32-bit programs cannot run on this Windows (${REGSVR32_32} does not start): the 32-bit service object is not registered"
    Return
  ${EndIf}
  !insertmacro CheckRegistered "${SERVER32_DIR}" "32-bit"
FunctionEnd
!endif

; ---- Uninstall ------------------------------------------------------------

Function un.onInit
  !ifdef X64
    SetRegView 64
  !else
    SetRegView 32
  !endif
FunctionEnd

; Deletes every cash drawer served by this package's service object in the
; current view; the cleaner only catches the ones whose name contains KX8.
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

; What the cleaner's sweep cannot reach or may have stopped short of, in one
; view; the uninstall entry goes last, as the sign that all is done.
!macro RemoveViewEntries
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
!macroend

!macro RemoveUninstallEntry
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
!macroend

; Runs a program of the package and says how it ended; one that cannot start
; (a 32-bit program where WOW64 is missing) is said so and passed over.
!macro RunAndTell COMMAND WHAT
  ClearErrors
  ExecWait '${COMMAND}' $0
  ${If} ${Errors}
    DetailPrint "${WHAT}: could not start"
  ${Else}
    DetailPrint "${WHAT} (exit code $0)"
  ${EndIf}
!macroend

Section "Uninstall"
  !insertmacro RunAndTell '"$SYSDIR\regsvr32.exe" /s /u "${SERVER_DIR}\Halyard.dll"' \
                          "Unregistered the ${SERVER_BITS} ${PROGID}"
  !ifdef X64
    ${If} ${FileExists} "${REGSVR32_32}"
      !insertmacro RunAndTell '"${REGSVR32_32}" /s /u "${SERVER32_DIR}\Halyard.dll"' \
                              "Unregistered the 32-bit ${PROGID}"
    ${EndIf}
  !endif

  ; The cleaner sweeps the package's values and keys (and KX8 devices) in
  ; the view of its own bitness: on 64-bit Windows both of them run.
  !insertmacro RunAndTell '"${SERVER_DIR}\Scrubber.exe"' "Scrubber.exe (${SERVER_BITS}) finished"
  !ifdef X64
    !insertmacro RunAndTell '"${SERVER32_DIR}\Scrubber.exe"' "Scrubber.exe (32-bit) finished"
  !endif

  !insertmacro InEachView RemoveViewEntries

  SetShellVarContext all
  Delete "${START_MENU_LINK}"
  RMDir "${START_MENU_DIR}"
  !insertmacro RemovePayload
  Delete "$INSTDIR\OPOSLog.ini"
  RMDir /r "$INSTDIR\Cashlog"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  !insertmacro InEachView RemoveUninstallEntry
SectionEnd
